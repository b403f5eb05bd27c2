// The queue's writer and its checker for the kill -9 soak that scripts/soak drives.
//   QueueSoak write <queue file> <run>   adds plays for ever, printing each id once saved
//   QueueSoak check <queue file> <ids>   starts a queue on the file as the bridge would and
//                                        prints what the file holds of the printed ids
#include "PlayQueue/PlayQueue.hpp"
#include "PlayQueue/QueueFile.hpp"
#include "Support/Files.hpp"

#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace bridge {
namespace {

int write(const std::filesystem::path& file, const std::string& run) {
    PlayQueue queue(file);
    for (long n = 1;; ++n) {
        const std::string id = run + "-" + std::to_string(n);
        queue.add(PlayEvent{.id = id,
                            .playedAt = ReferenceClock::now(),
                            .title = "Song " + std::to_string(n),
                            .artist = "Artist " + run,
                            .bpm = static_cast<double>(120.0F + static_cast<float>(n) / 7.0F),
                            .durationMs = 200'000 + n},
                  1, false);
        if (n % 5 == 0) {
            queue.hideLatest(); // a save that changes an entry in place
        }
        // One write each, after the save returned: a kill never leaves half an id.
        const std::string line = id + "\n";
        if (::write(STDOUT_FILENO, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
            return 1;
        }
    }
}

std::set<std::string> printedIds(const std::filesystem::path& ids) {
    std::ifstream in(ids);
    std::set<std::string> result;
    std::string all{std::istreambuf_iterator<char>(in), {}};
    for (std::size_t start = 0, end; (end = all.find('\n', start)) != std::string::npos;
         start = end + 1) {
        result.insert(all.substr(start, end - start));
    }
    return result;
}

// Files beside the queue file that look like its temporary copies.
int temporaries(const std::filesystem::path& file) {
    const std::string prefix = "." + file.filename().string() + ".";
    int count = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(file.parent_path(), error)) {
        count += entry.path().filename().string().starts_with(prefix) ? 1 : 0;
    }
    return count;
}

bool hasMode(const std::filesystem::path& path, mode_t mode) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && (info.st_mode & 0777) == mode;
}

int check(const std::filesystem::path& file, const std::filesystem::path& ids) {
    const auto confirmed = printedIds(ids);
    const FileRead read = readWholeFile(file);
    const auto entries = read.outcome == FileRead::Outcome::read
                             ? QueueFile::decode(read.bytes)
                             : std::optional<std::vector<Entry>>(std::vector<Entry>{});
    std::map<std::string, int> held;
    for (const auto& entry : entries.value_or(std::vector<Entry>{})) {
        ++held[entry.event.id];
    }
    int lost = 0;
    for (const auto& id : confirmed) {
        lost += held.contains(id) ? 0 : 1;
    }
    int duplicated = 0;
    for (const auto& [id, count] : held) {
        duplicated += count > 1 ? 1 : 0;
    }
    const bool modes = read.outcome != FileRead::Outcome::read ||
                       (hasMode(file, 0600) && hasMode(file.parent_path(), 0700));
    const int found = temporaries(file);
    PlayQueue started(file); // what the bridge does first after a crash
    std::printf("confirmed=%zu held=%zu lost=%d duplicated=%d unreadable=%d temporaries=%d "
                "leftovers=%d modes=%s\n",
                confirmed.size(), held.size(), lost, duplicated, entries ? 0 : 1, found,
                temporaries(file), modes ? "ok" : "wrong");
    return 0;
}

} // namespace
} // namespace bridge

int main(int argc, char** argv) {
    const std::string mode = argc == 4 ? argv[1] : "";
    if (mode == "write") {
        return bridge::write(argv[2], argv[3]);
    }
    if (mode == "check") {
        return bridge::check(argv[2], argv[3]);
    }
    std::fprintf(stderr, "usage: QueueSoak write <queue file> <run> | check <queue file> <ids>\n");
    return 2;
}
