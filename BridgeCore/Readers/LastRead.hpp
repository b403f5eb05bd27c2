#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <optional>
#include <vector>

namespace bridge {

// What tells one version of a file from the next without reading it.
struct FileStamp {
    std::uint64_t size = 0;
    std::int64_t writtenSeconds = 0; // modification time, since 1970
    std::int64_t writtenNanoseconds = 0;

    bool operator==(const FileStamp&) const = default;
};

// The stamp of a file; absent when its attributes cannot be read (missing, no permission).
std::optional<FileStamp> fileStamp(const std::filesystem::path& file);

// A value read from files, kept until the size or modification time of one of them changes.
// One instance per database object, shared by everything that reads through it.
template <class V>
class LastRead {
public:
    // The cached value when the files are as they were at the last good read, else what
    // `read` gives now. A failing read is passed on and leaves the cached value as it was.
    template <class Read>
    V value(const std::vector<std::filesystem::path>& paths, Read&& read) {
        std::vector<std::optional<FileStamp>> now;
        now.reserve(paths.size());
        for (const auto& path : paths) {
            now.push_back(fileStamp(path));
        }
        // The read runs under the lock, so overlapping callers never read one change twice.
        std::lock_guard guard(lock);
        if (cached && stamps == now) {
            return *cached;
        }
        V fresh = read();
        stamps = std::move(now);
        cached = fresh;
        return fresh;
    }

private:
    std::mutex lock;
    std::optional<std::vector<std::optional<FileStamp>>> stamps;
    std::optional<V> cached;
};

} // namespace bridge
