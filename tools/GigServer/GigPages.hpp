#pragma once

#include "GigServerStandIn.hpp"
#include "LocalHttpListener.hpp"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bridge {

// What dancers may see of one gig.
struct GigPageView {
    struct Song {
        std::string title;
        std::string artist;
        std::int64_t playedAt = 0; // milliseconds since 1970, as the bridge sent it
    };

    std::string name;
    std::optional<std::string> venue;
    std::string url; // the dancers' page, where the venue screen's QR code leads
    bool sharing = true;
    bool ended = false;
    std::vector<Song> songs; // newest first; hidden ones left out, none while not sharing
};

// The web pages of the stand-in's gigs, all answered to GET:
//   /gigs/SLUG             the dancers' page
//   /gigs/SLUG/screen      the venue screen
//   /gigs/SLUG/songs.json  the view both pages show and ask for again every second
//   /gigs/SLUG/qr.svg      the QR code of the dancers' page
//   /pages/gig.css, /pages/gig.js
class GigPages {
public:
    // The view of the gig with this slug; absent when there is none.
    using Lookup = std::function<std::optional<GigPageView>(std::string_view slug)>;

    explicit GigPages(Lookup lookup);

    static bool serves(std::string_view path);
    HttpReply answer(const GigServerStandIn::Request& request) const;

private:
    Lookup lookup_;
};

} // namespace bridge
