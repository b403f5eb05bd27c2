#pragma once

#include "Values/DeckReading.hpp"

#include <functional>

namespace bridge::testing {

// A source whose every read the test decides; `next` may throw to fail the read.
class FakeReader : public DeckReading {
public:
    std::function<VDJSnapshot()> next = [] { return VDJSnapshot{}; };
    int reads = 0;

    boost::asio::awaitable<VDJSnapshot> read() override {
        ++reads;
        co_return next();
    }

    // One loaded, audible deck playing `title`.
    void play(std::string title, std::optional<std::string> program = std::nullopt) {
        next = [title = std::move(title), program = std::move(program)] {
            return VDJSnapshot::oneDeck(Song{.title = title, .artist = "Artist"}, true, program);
        };
    }
};

} // namespace bridge::testing
