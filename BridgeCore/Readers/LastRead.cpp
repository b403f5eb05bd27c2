#include "Readers/LastRead.hpp"

#include <sys/stat.h>

namespace bridge {

std::optional<FileStamp> fileStamp(const std::filesystem::path& file) {
    struct stat attributes {};
    if (::stat(file.c_str(), &attributes) != 0) {
        return std::nullopt;
    }
    return FileStamp{
        .size = static_cast<std::uint64_t>(attributes.st_size),
        .writtenSeconds = static_cast<std::int64_t>(attributes.st_mtim.tv_sec),
        .writtenNanoseconds = static_cast<std::int64_t>(attributes.st_mtim.tv_nsec),
    };
}

} // namespace bridge
