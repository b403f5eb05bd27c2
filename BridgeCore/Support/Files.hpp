#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace bridge {

// Outcome of reading a whole file.
struct FileRead {
    enum class Outcome { read, missing, unreadable };
    Outcome outcome = Outcome::missing;
    std::string bytes; // the content, when read
};

FileRead readWholeFile(const std::filesystem::path& file);

// Creates the folder and any missing parents with the given permissions; folders that
// already exist are left as they are. Returns false when a folder could not be made.
bool createFolders(const std::filesystem::path& folder, mode_t mode);

// Replaces `file` with `bytes` so that a reader sees either the old or the new content:
// the bytes go to a temporary file in the same folder, reach the disk, and are renamed over
// the file; then the folder reaches the disk too, so the rename survives a power loss. The
// new file gets the given permissions where the filesystem keeps them (it is private in any
// case). On failure the old file is untouched.
bool replaceAtomically(const std::filesystem::path& file, std::string_view bytes, mode_t mode);

// Removes the temporary files that replaceAtomically leaves beside `file` when the process
// dies before its rename: regular files named like its own, nothing else. Returns how many.
std::size_t removeStaleTemporaries(const std::filesystem::path& file);

} // namespace bridge
