#include "WhatsNowPlayingStandIn.hpp"

#include "LocalHttpListener.hpp"

#include <boost/json/object.hpp>
#include <boost/json/serialize.hpp>

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <mutex>

namespace bridge {

namespace {

namespace json = boost::json;

// The tool's metadata keys besides the ones filled below; all present, null when unset.
constexpr std::array<const char*, 39> otherKeys{
    "acoustidid",
    "album",
    "albumartist",
    "artistlongbio",
    "artistshortbio",
    "artistbannerraw",
    "artistlogoraw",
    "artistthumbnailraw",
    "bitrate",
    "comments",
    "composer",
    "coverurl",
    "date",
    "deck",
    "disc",
    "disc_total",
    "discsubtitle",
    "genre",
    "hostfqdn",
    "hostip",
    "hostname",
    "httpport",
    "imagecacheartist",
    "label",
    "lang",
    "musicbrainzalbumid",
    "musicbrainzrecordingid",
    "requester",
    "requestdisplayname",
    "track",
    "track_total",
    "twitchchannel",
    "dbid",
    "fpcalcduration",
    "previoustrack",
    "source_agent_version",
    "artistwebsites",
    "musicbrainzartistid",
    "isrc",
};

// Python's str() of a float: the shortest form, with ".0" when it is whole.
std::string pythonFloat(double value) {
    char text[32];
    std::string written(text, std::to_chars(text, text + sizeof text, value).ptr);
    if (written.find_first_of(".eE") == std::string::npos) {
        written += ".0";
    }
    return written;
}

// The tool's timestamps: ISO 8601 in UTC with microseconds, left out when they are 0.
std::string isoFormat(std::chrono::system_clock::time_point at) {
    using namespace std::chrono;
    const auto micros = floor<microseconds>(at).time_since_epoch().count();
    const std::time_t seconds = static_cast<std::time_t>(std::floor(micros / 1e6));
    const auto fraction = micros - static_cast<long long>(seconds) * 1'000'000;
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[48];
    const auto length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    std::string result(text, length);
    if (fraction != 0) {
        std::snprintf(text, sizeof text, ".%06lld", static_cast<long long>(fraction));
        result += text;
    }
    return result + "+00:00";
}

json::value textOrNull(const std::optional<std::string>& text) {
    return text ? json::value(*text) : json::value(nullptr);
}

// A cover image as the tool embeds it: long base64 text.
std::string cover() {
    std::string text = "iVBORw0KGgoAAAANSUhEUgAA";
    while (text.size() < 24 * 1024) {
        text += "QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVo0MTIzNDU2Nzg5";
    }
    return text;
}

} // namespace

struct WhatsNowPlayingStandIn::State {
    mutable std::mutex mutex;
    std::optional<Track> track;
    std::optional<Fault> fault;
    std::size_t requests = 0;

    HttpReply answer(const GigServerStandIn::Request& request) {
        const std::lock_guard lock(mutex);
        ++requests;
        HttpReply reply;
        if (request.method != "GET" || request.path() != "/v1/last") {
            reply.status = 404;
            reply.body = R"({"detail":"Not Found"})";
            return reply;
        }
        reply.body = answerFor(track);
        if (fault) {
            reply.status = fault->status.value_or(200);
            reply.body = fault->body.value_or(reply.body);
            reply.delay = fault->delay;
        }
        return reply;
    }
};

std::string WhatsNowPlayingStandIn::answerFor(const std::optional<Track>& track) {
    if (!track) {
        return "{}";
    }
    json::object answer;
    for (const char* key : otherKeys) {
        answer[key] = nullptr;
    }
    answer["title"] = track->title;
    answer["artist"] = textOrNull(track->artist);
    answer["filename"] = textOrNull(track->filename);
    answer["bpm"] = track->bpm ? json::value(pythonFloat(*track->bpm)) : json::value(nullptr);
    answer["key"] = textOrNull(track->key);
    answer["duration"] = track->duration
                             ? json::value(std::to_string(std::lround(*track->duration)))
                             : json::value(nullptr);
    answer["duration_hhmmss"] = nullptr;
    answer["track_received"] = isoFormat(track->received);
    answer["source_agent_name"] = track->agent;
    answer["artistfanarturls"] = json::array{};
    answer["genres"] = json::array{"House", "Deep House"};
    answer["coverimagetype"] = "png";
    answer["coverimageraw"] = cover();
    answer["hostfqdn"] = "localhost";
    answer["httpport"] = 8899;
    answer["cache_warmed"] = true;
    answer["artistwebsites"] = json::array{"https://example.invalid/artist"};
    return json::serialize(answer);
}

WhatsNowPlayingStandIn::WhatsNowPlayingStandIn(std::uint16_t port, AnswerWrites writes)
    : state_(std::make_unique<State>()) {
    listener_ = std::make_unique<LocalHttpListener>(
        port,
        [state = state_.get()](GigServerStandIn::Request request) {
            return state->answer(request);
        },
        writes);
}

WhatsNowPlayingStandIn::~WhatsNowPlayingStandIn() = default;

std::uint16_t WhatsNowPlayingStandIn::port() const {
    return listener_->port();
}

void WhatsNowPlayingStandIn::play(Track track) {
    const std::lock_guard lock(state_->mutex);
    state_->track = std::move(track);
}

std::optional<WhatsNowPlayingStandIn::Track> WhatsNowPlayingStandIn::playing() const {
    const std::lock_guard lock(state_->mutex);
    return state_->track;
}

void WhatsNowPlayingStandIn::setFault(std::optional<Fault> fault) {
    const std::lock_guard lock(state_->mutex);
    state_->fault = std::move(fault);
}

std::size_t WhatsNowPlayingStandIn::requestCount() const {
    const std::lock_guard lock(state_->mutex);
    return state_->requests;
}

} // namespace bridge
