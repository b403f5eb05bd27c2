#pragma once

#include "Readers/DjayHistory.hpp"
#include "Readers/NowPlayingFile.hpp"
#include "Values/DeckReading.hpp"

#include <filesystem>
#include <functional>
#include <memory>
#include <string_view>

namespace bridge {

// What djay's now-playing text says.
struct NowPlayingFields {
    std::optional<std::string> title;
    std::optional<std::string> artist;
    std::optional<double> lengthSeconds;

    // The "Key: value" lines of the text. djay writes "N/A" for a value it does not have.
    static NowPlayingFields parse(std::string_view text);

    bool operator==(const NowPlayingFields&) const = default;
};

// djay as a source: the newest entry of its history while it is on air, else its
// now-playing text file.
class DjayReader : public DeckReading {
public:
    DjayReader(std::shared_ptr<DjayHistory> history, std::shared_ptr<NowPlayingFile> file,
               std::function<bool()> isRunning, std::function<Instant()> now = ReferenceClock::now);

    static const std::filesystem::path& defaultPath();

    boost::asio::awaitable<VDJSnapshot> read() override;

private:
    // The snapshot of what djay plays now; throws SourceError.
    VDJSnapshot snapshot() const;
    std::optional<VDJSnapshot> fromHistory(Instant at) const;
    VDJSnapshot fromFile(Instant at) const;

    std::shared_ptr<DjayHistory> history;
    std::shared_ptr<NowPlayingFile> file;
    std::function<bool()> isRunning;
    std::function<Instant()> now;
};

} // namespace bridge
