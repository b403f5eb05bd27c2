#include "GigServerStandIn.hpp"

#include "GigPages.hpp"
#include "LocalHttpListener.hpp"
#include "Support/Numbers.hpp"

#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>
#include <boost/json/value.hpp>
#include <boost/url/parse.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <stdexcept>

namespace bridge {

namespace json = boost::json;

namespace {

constexpr std::string_view codeAlphabet = "ABCDEFGHIJKMNPQRSTUVWXYZ23456789";
constexpr std::string_view keyAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr std::size_t codeLength = 8;
constexpr std::size_t keyLength = 32;
// Wrong codes in a row before pairing answers 429 until the DJ makes a new code.
constexpr unsigned wrongCodesAllowed = 5;
constexpr std::size_t maxPlaysPerRequest = 100;

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

struct GigServerStandIn::Account {
    struct PairingOffer {
        std::string name;
        std::optional<std::string> gig;
    };

    mutable std::mutex mutex;
    std::mt19937_64 random{std::random_device{}()};
    std::map<std::string, PairingOffer> codes;
    unsigned wrongCodes = 0;
    std::set<std::string> keys;
    std::optional<Gig> live;
    std::set<std::int64_t> ended;
    std::vector<Gig> pastGigs; // oldest first, as they were when they ended
    std::int64_t nextGigId = 1;
    std::int64_t nextPlayId = 1;
    std::map<std::int64_t, std::vector<StoredPlay>> plays;
    bool paused = false;
    std::vector<Request> requests;
    std::map<std::string, Fault, std::less<>> faults;

    // Everything below is called with `mutex` held.

    std::string randomText(std::string_view alphabet, std::size_t length) {
        std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
        std::string text;
        for (std::size_t i = 0; i < length; ++i) {
            text += alphabet[pick(random)];
        }
        return text;
    }

    std::string newKey() {
        auto key = randomText(keyAlphabet, keyLength);
        keys.insert(key);
        return key;
    }

    void endLive() {
        if (live) {
            ended.insert(live->id);
            pastGigs.push_back(*live);
            live.reset();
        }
    }

    // The live gig with that slug, else the last one that ended.
    std::optional<GigPageView> pageView(std::string_view slug) const {
        const auto past = std::find_if(pastGigs.rbegin(), pastGigs.rend(),
                                       [&](const Gig& gig) { return gig.slug == slug; });
        const bool isLive = live && live->slug == slug;
        if (!isLive && past == pastGigs.rend()) {
            return std::nullopt;
        }
        const Gig& gig = isLive ? *live : *past;
        GigPageView view{.name = gig.name,
                         .venue = gig.venue,
                         .url = gig.url,
                         .sharing = gig.sharing,
                         .ended = !isLive};
        const auto stored = plays.find(gig.id);
        if (!gig.sharing || stored == plays.end()) {
            return view;
        }
        for (auto play = stored->second.rbegin(); play != stored->second.rend(); ++play) {
            if (!play->hidden) {
                view.songs.push_back({play->title, play->artist, play->playedAt});
            }
        }
        return view;
    }

    HttpReply receive(Request request) {
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
            reply =
                HttpReply{.status = fault.status,
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

    Fault takeFault(std::string_view path) {
        auto found = faults.find(path);
        if (found == faults.end()) {
            return {};
        }
        auto fault = found->second;
        if (auto& left = found->second.times) {
            if (*left <= 1) {
                faults.erase(found);
            } else {
                --*left;
            }
        }
        return fault;
    }

    HttpReply handle(const Request& request) {
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
            return method == "GET" ? currentGig() : textReply(405, "Method not allowed");
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

    bool isKnownKey(const std::optional<std::string>& authorization) const {
        constexpr std::string_view scheme = "Bearer ";
        return authorization && authorization->starts_with(scheme) &&
               keys.contains(authorization->substr(scheme.size()));
    }

    HttpReply pair(std::string_view body) {
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

    HttpReply currentGig() const {
        return live ? jsonReply(200, gigObject(*live)) : errorReply(404, "No live gig");
    }

    template <class Handler>
    HttpReply withGig(std::optional<std::int64_t> gigId, Handler handler) {
        if (gigId && live && live->id == *gigId) {
            return handler(*gigId);
        }
        if (gigId && ended.contains(*gigId)) {
            return jsonReply(404, json::object{{"error", "This gig has ended."}, {"ended", true}});
        }
        return errorReply(404, "No such gig");
    }

    StoredPlay* findPlay(std::int64_t gigId, std::string_view eventId) {
        auto& stored = plays[gigId];
        auto found = std::find_if(stored.begin(), stored.end(),
                                  [&](const StoredPlay& play) { return play.eventId == eventId; });
        return found == stored.end() ? nullptr : &*found;
    }

    HttpReply postPlays(std::int64_t gigId, std::string_view body) {
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

    HttpReply setHidden(std::int64_t gigId, std::string_view eventId, std::string_view body) {
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

    HttpReply removePlay(std::int64_t gigId, std::string_view eventId) {
        auto& stored = plays[gigId];
        auto removed = std::remove_if(stored.begin(), stored.end(), [&](const StoredPlay& play) {
            return play.eventId == eventId;
        });
        if (removed == stored.end()) {
            return errorReply(404, "No such play");
        }
        stored.erase(removed, stored.end());
        return jsonReply(200, json::object{});
    }
};

std::optional<std::string> GigServerStandIn::Request::header(std::string_view name) const {
    auto sameName = [&](const auto& header) {
        return std::equal(
            header.first.begin(), header.first.end(), name.begin(), name.end(),
            [](unsigned char a, unsigned char b) { return std::tolower(a) == std::tolower(b); });
    };
    auto found = std::find_if(headers.begin(), headers.end(), sameName);
    return found == headers.end() ? std::nullopt : std::optional(found->second);
}

std::string_view GigServerStandIn::Request::path() const {
    return std::string_view(target).substr(0, target.find('?'));
}

GigServerStandIn::Fault GigServerStandIn::Fault::answer(unsigned status, std::string body) {
    return Fault{.kind = Kind::answer, .status = status, .body = std::move(body)};
}

GigServerStandIn::Fault GigServerStandIn::Fault::slow(std::chrono::milliseconds delay) {
    return Fault{.delay = delay};
}

GigServerStandIn::Fault GigServerStandIn::Fault::dropConnection() {
    return Fault{.kind = Kind::dropConnection};
}

GigServerStandIn::Fault GigServerStandIn::Fault::garbage() {
    return Fault{.kind = Kind::garbage};
}

GigServerStandIn::GigServerStandIn(std::uint16_t port) : account_(std::make_unique<Account>()) {
    // The pages are not the bridge's business: no faults and no record of their requests,
    // which a page open on a screen sends every second.
    GigPages pages([account = account_.get()](std::string_view slug) {
        std::scoped_lock lock(account->mutex);
        return account->pageView(slug);
    });
    listener_ = std::make_unique<LocalHttpListener>(
        port, [account = account_.get(), pages = std::move(pages)](Request request) {
            if (GigPages::serves(request.path())) {
                return pages.answer(request);
            }
            std::scoped_lock lock(account->mutex);
            return account->receive(std::move(request));
        });
}

GigServerStandIn::~GigServerStandIn() = default;

std::uint16_t GigServerStandIn::port() const {
    return listener_->port();
}

std::string GigServerStandIn::url() const {
    return "http://127.0.0.1:" + std::to_string(port());
}

std::string GigServerStandIn::makePairingCode(std::string name, std::optional<std::string> gig) {
    std::scoped_lock lock(account_->mutex);
    std::string code;
    do {
        code = account_->randomText(codeAlphabet, codeLength);
    } while (account_->codes.contains(code));
    account_->codes[code] = Account::PairingOffer{std::move(name), std::move(gig)};
    // A fresh code lets the DJ try again after too many wrong ones.
    account_->wrongCodes = 0;
    return code;
}

std::string GigServerStandIn::makeKey() {
    std::scoped_lock lock(account_->mutex);
    return account_->newKey();
}

void GigServerStandIn::revokeKeys() {
    std::scoped_lock lock(account_->mutex);
    account_->keys.clear();
}

Gig GigServerStandIn::startGig(GigSetup setup) {
    std::scoped_lock lock(account_->mutex);
    account_->endLive();
    Gig gig;
    gig.id = account_->nextGigId++;
    gig.slug = setup.slug.value_or("gig-" + std::to_string(gig.id));
    gig.name = std::move(setup.name);
    gig.venue = std::move(setup.venue);
    gig.sharing = setup.sharing;
    gig.url = url() + "/gigs/" + gig.slug;
    gig.screenUrl = std::move(setup.screenUrl);
    account_->live = gig;
    return gig;
}

Gig GigServerStandIn::startGig() {
    return startGig(GigSetup{});
}

std::optional<Gig> GigServerStandIn::liveGig() const {
    std::scoped_lock lock(account_->mutex);
    return account_->live;
}

void GigServerStandIn::endGig() {
    std::scoped_lock lock(account_->mutex);
    account_->endLive();
}

void GigServerStandIn::setSharing(bool sharing) {
    std::scoped_lock lock(account_->mutex);
    if (!account_->live) {
        throw std::logic_error("no live gig to share");
    }
    account_->live->sharing = sharing;
}

void GigServerStandIn::setPaused(bool paused) {
    std::scoped_lock lock(account_->mutex);
    account_->paused = paused;
}

std::vector<GigServerStandIn::StoredPlay> GigServerStandIn::plays(std::int64_t gigId) const {
    std::scoped_lock lock(account_->mutex);
    auto found = account_->plays.find(gigId);
    return found == account_->plays.end() ? std::vector<StoredPlay>{} : found->second;
}

std::vector<GigServerStandIn::Request> GigServerStandIn::requests() const {
    std::scoped_lock lock(account_->mutex);
    return account_->requests;
}

void GigServerStandIn::setFault(std::string path, Fault fault) {
    std::scoped_lock lock(account_->mutex);
    account_->faults.insert_or_assign(std::move(path), std::move(fault));
}

void GigServerStandIn::clearFaults() {
    std::scoped_lock lock(account_->mutex);
    account_->faults.clear();
}

} // namespace bridge
