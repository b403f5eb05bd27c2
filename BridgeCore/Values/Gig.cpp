#include "Values/Gig.hpp"

#include "Support/URLText.hpp"

#include <boost/url/parse.hpp>
#include <boost/url/url.hpp>

namespace bridge {

std::string Gig::screen() const {
    if (screenUrl) {
        return *screenUrl;
    }
    auto parsed = parseURL(url, boost::urls::parse_uri_reference);
    if (!parsed) {
        return url;
    }
    boost::urls::url link = *parsed;
    auto segments = link.segments();
    // A path that ends in "/" has an empty last segment: "screen" takes its place.
    if (!segments.empty() && segments.back().empty()) {
        segments.pop_back();
    }
    segments.push_back("screen");
    return std::string(link.buffer());
}

} // namespace bridge
