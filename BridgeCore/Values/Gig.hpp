#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace bridge {

// The DJ's live gig as the server reports it.
struct Gig {
    std::int64_t id = 0;
    std::string slug;
    std::string name;
    std::optional<std::string> venue;
    bool sharing = false; // dancers see the gig
    std::string url;      // the dancers' page
    std::optional<std::string> screenUrl;

    // The venue screen's link: `screenUrl`, else `url` with the path segment "screen" added.
    std::string screen() const;

    bool operator==(const Gig&) const = default;
};

} // namespace bridge
