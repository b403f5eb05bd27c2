#include "GigAccount.hpp"
#include "Support/Numbers.hpp"
#include "Values/Source.hpp"

#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>
#include <boost/json/value.hpp>
#include <boost/url/parse.hpp>

#include <algorithm>
#include <cmath>

namespace bridge {

namespace json = boost::json;

namespace {

HttpReply jsonReply(unsigned status, const json::value& body) {
    return HttpReply{.status = status, .body = json::serialize(body)};
}

HttpReply errorReply(unsigned status, std::string_view message) {
    return jsonReply(status, json::object{{"error", message}});
}

// For paths and methods the API does not have: not a JSON error, so that a client never
// takes a wrong path for a missing gig.
HttpReply textReply(unsigned status, std::string_view text) {
    return HttpReply{.status = status, .contentType = "text/plain", .body = std::string(text)};
}

std::optional<json::value> parseJson(std::string_view text) {
    boost::system::error_code error;
    auto value = json::parse(text, error);
    if (error) {
        return std::nullopt;
    }
    return value;
}

json::object gigObject(const Gig& gig) {
    json::object object{{"id", gig.id},
                        {"slug", gig.slug},
                        {"name", gig.name},
                        {"sharing", gig.sharing},
                        {"url", gig.url}};
    if (gig.venue) {
        object["venue"] = *gig.venue;
    }
    if (gig.screenUrl) {
        object["screenUrl"] = *gig.screenUrl;
    }
    return object;
}

json::object playAnswer(const GigServerStandIn::StoredPlay& play) {
    return {{"eventId", play.eventId}, {"id", play.id}, {"hidden", play.hidden}};
}

// The keys the bridge always sends, with the types the server relies on.
bool isPlayObject(const json::value& value) {
    const auto* play = value.if_object();
    if (play == nullptr) {
        return false;
    }
    const auto* id = play->if_contains("id");
    const auto* playedAt = play->if_contains("playedAt");
    const auto* title = play->if_contains("title");
    const auto* artist = play->if_contains("artist");
    const auto* hidden = play->if_contains("hidden");
    return id != nullptr && id->is_string() && !id->get_string().empty() && playedAt != nullptr &&
           playedAt->is_number() && title != nullptr && title->is_string() && artist != nullptr &&
           artist->is_string() && (hidden == nullptr || hidden->is_bool());
}

} // namespace

HttpReply GigServerStandIn::Account::receive(Request request) {
    const auto fault = takeFault(request.path());
    HttpReply reply;
    if (fault.kind == Fault::Kind::normal || fault.takeEffect) {
        reply = handle(request);
    }
    requests.push_back(std::move(request));
    switch (fault.kind) {
    case Fault::Kind::normal:
        break;
    case Fault::Kind::answer:
        reply = HttpReply{.status = fault.status,
                          .contentType = parseJson(fault.body) ? "application/json" : "text/html",
                          .body = fault.body};
        break;
    case Fault::Kind::dropConnection:
        reply.kind = HttpReply::Kind::dropConnection;
        break;
    case Fault::Kind::garbage:
        reply.kind = HttpReply::Kind::garbage;
        break;
    }
    reply.delay = fault.delay;
    return reply;
}

HttpReply GigServerStandIn::Account::handle(const Request& request) {
    auto target = boost::urls::parse_origin_form(request.target);
    if (!target) {
        return textReply(400, "Bad request");
    }
    std::vector<std::string> path;
    for (auto segment : target->segments()) {
        path.push_back(segment);
    }
    if (path.size() < 3 || path[0] != "api" || path[1] != "bridge") {
        return textReply(404, "Not found");
    }
    path.erase(path.begin(), path.begin() + 2);
    const auto& method = request.method;
    if (path == std::vector<std::string>{"pair"}) {
        return method == "POST" ? pair(request.body) : textReply(405, "Method not allowed");
    }
    if (!isKnownKey(request.header("Authorization"))) {
        return errorReply(401, "This bridge key is not valid. Pair the bridge again.");
    }
    if (path == std::vector<std::string>{"gig"}) {
        return method == "GET" ? currentGig(*target) : textReply(405, "Method not allowed");
    }
    if (path.size() < 3 || path[0] != "gigs") {
        return textReply(404, "Not found");
    }
    const auto gigId = parseNumber<std::int64_t>(path[1]);
    if (path.size() == 3 && path[2] == "plays" && method == "POST") {
        return withGig(gigId, [&](std::int64_t gig) { return postPlays(gig, request.body); });
    }
    if (path.size() == 4 && path[2] == "plays" && method == "PATCH") {
        return withGig(gigId,
                       [&](std::int64_t gig) { return setHidden(gig, path[3], request.body); });
    }
    if (path.size() == 4 && path[2] == "plays" && method == "DELETE") {
        return withGig(gigId, [&](std::int64_t gig) { return removePlay(gig, path[3]); });
    }
    if (path.size() == 3 && path[2] == "end" && method == "POST") {
        return withGig(gigId, [&](std::int64_t) {
            endLive();
            return jsonReply(200, json::object{});
        });
    }
    return textReply(404, "Not found");
}

HttpReply GigServerStandIn::Account::pair(std::string_view body) {
    if (wrongCodes >= wrongCodesAllowed) {
        return errorReply(429, "Too many wrong codes. Make a new code and try again.");
    }
    const auto parsed = parseJson(body);
    const auto* object = parsed ? parsed->if_object() : nullptr;
    const auto* code = object ? object->if_contains("code") : nullptr;
    if (code == nullptr || !code->is_string()) {
        return errorReply(400, "Pairing needs a code.");
    }
    auto offer = codes.find(std::string(code->get_string()));
    if (offer == codes.end()) {
        ++wrongCodes;
        return errorReply(404, "This code is unknown or was used already.");
    }
    json::object answer{{"key", newKey()}, {"name", offer->second.name}};
    if (offer->second.gig) {
        answer["gig"] = *offer->second.gig;
    }
    codes.erase(offer);
    wrongCodes = 0;
    return jsonReply(200, answer);
}

HttpReply GigServerStandIn::Account::currentGig(const boost::urls::url_view& target) {
    const auto value = [&](std::string_view key) -> std::optional<std::string> {
        const auto found = target.params().find(key);
        if (found == target.params().end() || !(*found).has_value) {
            return std::nullopt;
        }
        return std::string((*found).value);
    };
    reads = BridgeReads{value("source"), value("program"), value("virtualdj")};
    if (reads->source && !Source::fromRaw(*reads->source)) {
        return errorReply(400, "Unknown source");
    }
    return live ? jsonReply(200, gigObject(*live)) : errorReply(404, "No live gig");
}

GigServerStandIn::StoredPlay* GigServerStandIn::Account::findPlay(std::int64_t gigId,
                                                                  std::string_view eventId) {
    auto& stored = plays[gigId];
    auto found = std::find_if(stored.begin(), stored.end(),
                              [&](const StoredPlay& play) { return play.eventId == eventId; });
    return found == stored.end() ? nullptr : &*found;
}

HttpReply GigServerStandIn::Account::postPlays(std::int64_t gigId, std::string_view body) {
    const auto parsed = parseJson(body);
    const auto* object = parsed ? parsed->if_object() : nullptr;
    const auto* sent = object ? object->if_contains("plays") : nullptr;
    if (sent == nullptr || !sent->is_array()) {
        return errorReply(400, "The request needs a list of plays.");
    }
    const auto& list = sent->get_array();
    if (list.size() > maxPlaysPerRequest) {
        return errorReply(413, "At most 100 plays at once.");
    }
    if (!std::all_of(list.begin(), list.end(), isPlayObject)) {
        return errorReply(400, "A play needs an id, playedAt, title and artist.");
    }
    json::array answers;
    for (const auto& element : list) {
        const auto& play = element.get_object();
        const std::string eventId(play.at("id").get_string());
        if (paused) {
            answers.push_back(json::object{{"eventId", eventId}});
            continue;
        }
        if (const auto* known = findPlay(gigId, eventId)) {
            answers.push_back(playAnswer(*known));
            continue;
        }
        const auto* hidden = play.if_contains("hidden");
        plays[gigId].push_back(
            StoredPlay{.id = nextPlayId++,
                       .eventId = eventId,
                       .hidden = hidden != nullptr && hidden->get_bool(),
                       .object = json::serialize(play),
                       .title = std::string(play.at("title").get_string()),
                       .artist = std::string(play.at("artist").get_string()),
                       .playedAt = std::llround(play.at("playedAt").to_number<double>())});
        answers.push_back(playAnswer(plays[gigId].back()));
    }
    return jsonReply(200, json::object{{"plays", answers}, {"paused", paused}});
}

HttpReply GigServerStandIn::Account::setHidden(std::int64_t gigId, std::string_view eventId,
                                               std::string_view body) {
    const auto parsed = parseJson(body);
    const auto* object = parsed ? parsed->if_object() : nullptr;
    const auto* hidden = object ? object->if_contains("hidden") : nullptr;
    if (hidden == nullptr || !hidden->is_bool()) {
        return errorReply(400, "The request needs \"hidden\" true or false.");
    }
    auto* play = findPlay(gigId, eventId);
    if (play == nullptr) {
        return errorReply(404, "No such play");
    }
    play->hidden = hidden->get_bool();
    return jsonReply(200, playAnswer(*play));
}

HttpReply GigServerStandIn::Account::removePlay(std::int64_t gigId, std::string_view eventId) {
    auto& stored = plays[gigId];
    auto removed = std::remove_if(stored.begin(), stored.end(),
                                  [&](const StoredPlay& play) { return play.eventId == eventId; });
    if (removed == stored.end()) {
        return errorReply(404, "No such play");
    }
    stored.erase(removed, stored.end());
    return jsonReply(200, json::object{});
}

HttpReply
GigServerStandIn::Account::withGig(std::optional<std::int64_t> gigId,
                                   const std::function<HttpReply(std::int64_t)>& handler) const {
    if (gigId && live && live->id == *gigId) {
        return handler(*gigId);
    }
    if (gigId && ended.contains(*gigId)) {
        return jsonReply(404, json::object{{"error", "This gig has ended."}, {"ended", true}});
    }
    return errorReply(404, "No such gig");
}

} // namespace bridge
