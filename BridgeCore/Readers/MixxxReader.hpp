#pragma once

#include "Readers/MixxxHistory.hpp"
#include "Values/DeckReading.hpp"

#include <functional>
#include <memory>

namespace bridge {

// Mixxx as a source: the newest entry of its play history, on air until its length and a
// minute have passed since Mixxx recorded it.
class MixxxReader : public DeckReading {
public:
    MixxxReader(std::shared_ptr<MixxxHistory> history, std::function<bool()> isRunning,
                std::function<Instant()> now = ReferenceClock::now);

    boost::asio::awaitable<VDJSnapshot> read() override;

private:
    // The snapshot of the history's newest entry; throws SourceError.
    VDJSnapshot snapshot() const;
    std::shared_ptr<MixxxHistory> history;
    std::function<bool()> isRunning;
    std::function<Instant()> now;
};

} // namespace bridge
