#pragma once

#include "Support/Instant.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace bridge {

// One entry of djay's play history.
struct DjayHistoryItem {
    std::string id; // djay's "uuid", empty when it has none
    std::string title;
    std::optional<std::string> artist;
    std::optional<double> duration; // seconds
    std::optional<std::int64_t> deck;
    Instant started; // when the song went on air

    // Decodes one stored item; absent when it lacks a title or a start time. The record is
    // djay's own: fields are found by name, the value lying just before the name.
    static std::optional<DjayHistoryItem> decode(std::string_view data);

    bool operator==(const DjayHistoryItem&) const = default;
};

} // namespace bridge
