#include "Support/Files.hpp"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bridge {

FileRead readWholeFile(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const bool missing = errno == ENOENT || errno == ENOTDIR;
        return {missing ? FileRead::Outcome::missing : FileRead::Outcome::unreadable, {}};
    }
    FileRead result{FileRead::Outcome::read, {}};
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            result = {FileRead::Outcome::unreadable, {}};
        }
        if (count <= 0) {
            break;
        }
        result.bytes.append(buffer, static_cast<std::size_t>(count));
    }
    ::close(fd);
    return result;
}

bool createFolders(const std::filesystem::path& folder, mode_t mode) {
    std::error_code error;
    if (folder.empty() || std::filesystem::is_directory(folder, error)) {
        return true;
    }
    if (folder.has_parent_path() && folder.parent_path() != folder &&
        !createFolders(folder.parent_path(), mode)) {
        return false;
    }
    return ::mkdir(folder.c_str(), mode) == 0 || errno == EEXIST;
}

namespace {

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Makes a rename in the folder survive a power loss. Best effort: the new content is in
// place either way, and the next replacement syncs the folder again.
void syncFolder(const std::filesystem::path& folder) {
    const int fd =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// The temporary file of a replacement is this, then six letters or digits from mkstemp.
std::string temporaryPrefix(const std::filesystem::path& file) {
    return "." + file.filename().string() + ".";
}

constexpr std::size_t temporaryRandom = 6;

} // namespace

bool replaceAtomically(const std::filesystem::path& file, std::string_view bytes, mode_t mode) {
    std::string temporary =
        file.parent_path() / (temporaryPrefix(file) + std::string(temporaryRandom, 'X'));
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        return false;
    }
    // Some filesystems keep no permissions; the file is private from mkstemp anyway.
    ::fchmod(fd, mode);
    const bool written = writeAll(fd, bytes) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (written && closed && ::rename(temporary.c_str(), file.c_str()) == 0) {
        syncFolder(file.parent_path());
        return true;
    }
    ::unlink(temporary.c_str());
    return false;
}

std::size_t removeStaleTemporaries(const std::filesystem::path& file) {
    const std::string prefix = temporaryPrefix(file);
    const auto isTemporary = [&](const std::string& name) {
        return name.size() == prefix.size() + temporaryRandom && name.starts_with(prefix) &&
               std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                           [](char c) {
                               return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                                      (c >= '0' && c <= '9');
                           });
    };
    namespace fs = std::filesystem;
    std::error_code error;
    std::size_t removed = 0;
    for (fs::directory_iterator entry(file.parent_path().empty() ? "." : file.parent_path(), error),
         end;
         !error && entry != end; entry.increment(error)) {
        std::error_code ignored;
        if (isTemporary(entry->path().filename().string()) &&
            entry->symlink_status(ignored).type() == fs::file_type::regular &&
            ::unlink(entry->path().c_str()) == 0) {
            ++removed;
        }
    }
    return removed;
}

} // namespace bridge
