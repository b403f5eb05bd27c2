#include "Readers/NowPlayingOnDisk.hpp"

#include "Support/Text.hpp"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace bridge {

namespace {

// djay writes a few lines; anything much larger is not its file.
constexpr std::size_t largestFile = 1 << 20;

[[noreturn]] void fail(int error) {
    throw std::system_error(error, std::generic_category());
}

std::optional<std::string> fromUtf16(std::string_view bytes, bool bigEndian) {
    if (bytes.size() % 2 != 0) {
        return std::nullopt;
    }
    std::vector<char16_t> units(bytes.size() / 2);
    for (std::size_t i = 0; i < units.size(); ++i) {
        const auto first = static_cast<unsigned char>(bytes[2 * i]);
        const auto second = static_cast<unsigned char>(bytes[2 * i + 1]);
        units[i] = static_cast<char16_t>(bigEndian ? first << 8 | second : second << 8 | first);
    }
    return utf8FromUtf16(std::u16string_view(units.data(), units.size()));
}

std::optional<std::string> fromUtf8(std::string_view bytes) {
    for (std::string_view rest = bytes; !rest.empty();) {
        const std::size_t length = utf8SequenceLength(rest);
        if (length == 0) {
            return std::nullopt;
        }
        rest.remove_prefix(length);
    }
    return std::string(bytes);
}

} // namespace

std::optional<std::string> NowPlayingOnDisk::decode(std::string_view bytes) {
    if (bytes.starts_with("\xFF\xFE")) {
        return fromUtf16(bytes.substr(2), false);
    }
    if (bytes.starts_with("\xFE\xFF")) {
        return fromUtf16(bytes.substr(2), true);
    }
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        return fromUtf8(bytes.substr(3));
    }
    return fromUtf8(bytes);
}

std::optional<NowPlayingText> NowPlayingOnDisk::read() {
    struct stat attributes {};
    if (::stat(path.c_str(), &attributes) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return std::nullopt;
        }
        fail(errno);
    }
    // A pipe or a device could keep a read waiting or going for ever.
    if (!S_ISREG(attributes.st_mode)) {
        fail(EINVAL);
    }
    if (static_cast<std::uint64_t>(attributes.st_size) > largestFile) {
        fail(EFBIG);
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        fail(errno);
    }
    std::string bytes;
    char buffer[8192];
    int error = 0;
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            error = errno;
        }
        if (count <= 0) {
            break;
        }
        bytes.append(buffer, static_cast<std::size_t>(count));
        if (bytes.size() > largestFile) { // grew while being read
            error = EFBIG;
            break;
        }
    }
    ::close(fd);
    if (error != 0) {
        fail(error);
    }
    auto text = decode(bytes);
    if (!text) {
        fail(EILSEQ);
    }
    const double unixSeconds = static_cast<double>(attributes.st_mtim.tv_sec) +
                               static_cast<double>(attributes.st_mtim.tv_nsec) / 1e9;
    return NowPlayingText{
        .text = std::move(*text),
        .modified =
            instantFromReferenceSeconds(unixSeconds - ReferenceClock::unixEpochOffset.count()),
    };
}

} // namespace bridge
