#include "PlayQueue/PlayQueue.hpp"

#include "PlayQueue/QueueFile.hpp"
#include "Support/Files.hpp"
#include "Support/Text.hpp"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>

namespace bridge {

namespace {

constexpr mode_t folderMode = 0700;
constexpr mode_t fileMode = 0600;

// A play is a repeat of a queued one within the queued song's length and a minute, or
// eleven minutes when its length is unknown.
Seconds repeatWindow(const PlayEvent& queued) {
    if (!queued.durationMs) {
        return Seconds{660.0};
    }
    return Seconds{static_cast<double>(*queued.durationMs) / 1000.0 + 60.0};
}

bool isSameSong(const PlayEvent& a, const PlayEvent& b) {
    if (a.filePath && b.filePath) {
        return *a.filePath == *b.filePath;
    }
    return lowercased(a.title) == lowercased(b.title) &&
           lowercased(a.artist) == lowercased(b.artist);
}

// Removes the oldest entries that match until at most `keep` of them remain; returns how
// many were removed.
template <class Predicate>
std::size_t keepLatest(std::vector<Entry>& entries, std::size_t keep, Predicate matches) {
    const auto matching =
        static_cast<std::size_t>(std::count_if(entries.begin(), entries.end(), matches));
    if (matching <= keep) {
        return 0;
    }
    std::size_t excess = matching - keep;
    // The counter is shared by reference, so it holds however the predicate is copied.
    return std::erase_if(entries, [&](const Entry& e) {
        if (excess == 0 || !matches(e)) {
            return false;
        }
        --excess;
        return true;
    });
}

bool isWaiting(const Entry& e) {
    return e.isWaiting();
}

bool isSettled(const Entry& e) {
    return e.isSettled();
}

} // namespace

PlayQueue::PlayQueue(std::filesystem::path file) : file_(std::move(file)) {
    // Copies of the queue left by a save that was cut short; the file itself is whole.
    removeStaleTemporaries(file_);
    FileRead read = readWholeFile(file_);
    if (read.outcome == FileRead::Outcome::unreadable) {
        fileUnread = true;
        return;
    }
    if (read.outcome == FileRead::Outcome::missing) {
        return;
    }
    if (auto entries = QueueFile::decode(read.bytes)) {
        entries_ = std::move(*entries);
    } else {
        fileUnread = true;
    }
    written = std::move(read.bytes);
}

void PlayQueue::add(PlayEvent event, std::optional<std::int64_t> gigId, bool hidden) {
    const Instant playedAt = event.playedAt;
    entries_.push_back(Entry{.event = std::move(event), .gigId = gigId, .hidden = hidden});
    ++changes;
    if (!gigId) {
        dropWaitingOlderThan(playedAt - longestWait);
        ++changes;
        keepLatest(entries_, mostWaiting, isWaiting);
        ++changes;
    }
    save();
}

void PlayQueue::adopt(std::int64_t gigId, Instant at) {
    if (std::none_of(entries_.begin(), entries_.end(), isWaiting)) {
        return;
    }
    dropWaitingOlderThan(at - longestWait);
    ++changes;
    for (auto& entry : entries_) {
        if (entry.isWaiting()) {
            entry.gigId = gigId;
            ++changes;
        }
    }
    save();
}

bool PlayQueue::hasUnsent() const {
    return std::any_of(entries_.begin(), entries_.end(),
                       [](const Entry& e) { return e.owesServer(); });
}

void PlayQueue::dropWaiting() {
    if (std::erase_if(entries_, isWaiting) == 0) {
        return;
    }
    ++changes;
    save();
}

void PlayQueue::hideLatest() {
    if (Entry* entry = latestNotRemoved()) {
        entry->hidden = true;
        ++changes;
        save();
    }
}

void PlayQueue::undoLatest() {
    if (Entry* entry = latestNotRemoved()) {
        entry->removed = true;
        ++changes;
        save();
    }
}

bool PlayQueue::isRepeat(const PlayEvent& event) const {
    const std::size_t from =
        entries_.size() > repeatLookback ? entries_.size() - repeatLookback : 0;
    return std::any_of(
        entries_.begin() + static_cast<std::ptrdiff_t>(from), entries_.end(),
        [&](const Entry& entry) {
            const Seconds apart{std::abs((event.playedAt - entry.event.playedAt).count())};
            return apart < repeatWindow(entry.event) && isSameSong(event, entry.event);
        });
}

const std::vector<QueuedPlay>& PlayQueue::recent(std::size_t limit) {
    if (recentAt && recentAt->changes == changes && recentAt->limit == limit) {
        return recentAt->plays;
    }
    std::vector<QueuedPlay> plays;
    for (auto entry = entries_.rbegin(); entry != entries_.rend() && plays.size() < limit;
         ++entry) {
        if (!entry->removed) {
            plays.push_back(entry->queuedPlay());
        }
    }
    recentAt = RecentPlays{changes, limit, std::move(plays)};
    return recentAt->plays;
}

void PlayQueue::prune() {
    if (keepLatest(entries_, mostSettled, isSettled) > 0) {
        ++changes;
    }
}

void PlayQueue::save() {
    if (changes == savedAt) {
        return;
    }
    auto bytes = QueueFile::encode(entries_);
    if (!bytes) {
        return;
    }
    if (bytes == written) {
        savedAt = changes;
        return;
    }
    createFolders(file_.parent_path(), folderMode);
    if (!keepUnreadableFile() || !replaceAtomically(file_, *bytes, fileMode)) {
        return;
    }
    written = std::move(*bytes);
    savedAt = changes;
}

void PlayQueue::dropWaitingOlderThan(Instant bound) {
    std::erase_if(entries_,
                  [&](const Entry& e) { return e.isWaiting() && e.event.playedAt < bound; });
}

Entry* PlayQueue::latestNotRemoved() {
    const auto entry =
        std::find_if(entries_.rbegin(), entries_.rend(), [](const Entry& e) { return !e.removed; });
    return entry == entries_.rend() ? nullptr : &*entry;
}

// A file this queue could not load may still hold plays: move it aside, once, before the
// first save replaces it. The save waits when that fails, so the file is never lost.
bool PlayQueue::keepUnreadableFile() {
    if (!fileUnread) {
        return true;
    }
    auto aside = file_;
    aside += ".unreadable";
    if (std::rename(file_.c_str(), aside.c_str()) != 0 && errno != ENOENT) {
        return false;
    }
    fileUnread = false;
    return true;
}

} // namespace bridge
