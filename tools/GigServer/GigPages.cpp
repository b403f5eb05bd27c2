#include "GigPages.hpp"

#include "GigPageFiles.hpp"
#include "QrSvg.hpp"

#include <boost/json/serialize.hpp>
#include <boost/json/value.hpp>
#include <boost/url/parse.hpp>

namespace bridge {

namespace json = boost::json;

namespace {

HttpReply textReply(unsigned status, std::string_view text) {
    return HttpReply{
        .status = status, .contentType = "text/plain; charset=utf-8", .body = std::string(text)};
}

HttpReply fileReply(std::string_view contentType, std::string_view text) {
    return HttpReply{.contentType = std::string(contentType), .body = std::string(text)};
}

std::string songsJson(const GigPageView& view) {
    json::array songs;
    for (const auto& song : view.songs) {
        songs.push_back(json::object{
            {"title", song.title}, {"artist", song.artist}, {"playedAt", song.playedAt}});
    }
    json::object object{{"name", view.name},
                        {"url", view.url},
                        {"sharing", view.sharing},
                        {"ended", view.ended},
                        {"songs", std::move(songs)}};
    if (view.venue) {
        object["venue"] = *view.venue;
    }
    return json::serialize(object);
}

std::optional<std::vector<std::string>> segmentsOf(std::string_view target) {
    const auto parsed = boost::urls::parse_origin_form(target);
    if (!parsed) {
        return std::nullopt;
    }
    std::vector<std::string> segments;
    for (auto segment : parsed->segments()) {
        segments.push_back(segment);
    }
    return segments;
}

} // namespace

GigPages::GigPages(Lookup lookup) : lookup_(std::move(lookup)) {}

bool GigPages::serves(std::string_view path) {
    return path.starts_with("/gigs/") || path.starts_with("/pages/");
}

HttpReply GigPages::answer(const GigServerStandIn::Request& request) const {
    if (request.method != "GET") {
        return textReply(405, "Method not allowed");
    }
    const auto segments = segmentsOf(request.target);
    if (!segments || segments->size() < 2) {
        return textReply(404, "Not found");
    }
    const auto& path = *segments;
    if (path[0] == "pages" && path.size() == 2) {
        if (path[1] == "gig.css") {
            return fileReply("text/css; charset=utf-8", gigPageFiles::styles);
        }
        if (path[1] == "gig.js") {
            return fileReply("text/javascript; charset=utf-8", gigPageFiles::script);
        }
        return textReply(404, "Not found");
    }
    if (path[0] != "gigs" || path.size() > 3) {
        return textReply(404, "Not found");
    }
    const auto view = lookup_(path[1]);
    if (!view) {
        return textReply(404, "No such gig");
    }
    if (path.size() == 2) {
        return fileReply("text/html; charset=utf-8", gigPageFiles::dancersHtml);
    }
    const auto& page = path[2];
    if (page == "screen") {
        return fileReply("text/html; charset=utf-8", gigPageFiles::screenHtml);
    }
    if (page == "songs.json") {
        return fileReply("application/json", songsJson(*view));
    }
    if (page == "qr.svg") {
        return fileReply("image/svg+xml", qrSvg(view->url));
    }
    return textReply(404, "Not found");
}

} // namespace bridge
