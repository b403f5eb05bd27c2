#include "Server/ServerClient.hpp"

#include "Server/Pairing.hpp"
#include "Server/ServerError.hpp"
#include "Server/ServerURL.hpp"
#include "Support/JsonFields.hpp"
#include "Support/JsonText.hpp"
#include "Support/URLText.hpp"

#include <boost/json/parse.hpp>
#include <boost/json/value.hpp>
#include <boost/url/parse.hpp>
#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <cmath>

namespace bridge {

namespace json = boost::json;

struct ServerClient::Call {
    std::string method;
    std::string path;
    QueryItems query;
    std::optional<json::value> body;
};

ServerClient::ServerClient(std::string baseURL, std::string key, Source source,
                           std::shared_ptr<HTTPTransport> transport)
    : baseURL(std::move(baseURL)), key(std::move(key)), source(source),
      transport(std::move(transport)) {}

namespace {

std::string gigPath(std::int64_t gigId) {
    return "/api/bridge/gigs/" + std::to_string(gigId);
}

std::string playPath(std::int64_t gigId, const std::string& eventId) {
    return gigPath(gigId) + "/plays/" + pathSegment(eventId);
}

std::optional<json::object> jsonObject(std::string_view bytes) {
    boost::system::error_code error;
    auto value = json::parse(bytes, error);
    if (error || !value.is_object()) {
        return std::nullopt;
    }
    return std::move(value.get_object());
}

ServerError statusFailure(int status, const std::string& body) {
    if (status == 400 || status == 413) {
        return ServerError::refused(serverMessage(body).value_or("The server refused the songs."));
    }
    if (status == 401) {
        return ServerError::badKey;
    }
    if (status == 403) {
        return ServerError::refused(serverMessage(body).value_or("The server refused."));
    }
    if (status == 404) {
        const auto object = jsonObject(body);
        if (object && object->contains("error") && object->at("error").is_string()) {
            const auto* ended = object->if_contains("ended");
            return ended && ended->is_bool() && ended->get_bool() ? ServerError::gigEnded
                                                                  : ServerError::gigGone;
        }
    }
    return ServerError::unavailable;
}

std::optional<std::string> sourceQueryValue(Source source) {
    if (source == Source::virtualDJ) {
        return std::nullopt;
    }
    return std::string(source.raw());
}

std::optional<std::string> connectionQueryValue(SourceState state) {
    switch (state) {
    case SourceState::connected:
        return "connected";
    case SourceState::notAllowed:
        return "wrong-password";
    case SourceState::notAnswering:
        return "not-answering";
    case SourceState::starting:
        return std::nullopt;
    }
    return std::nullopt;
}

SentPlays sentPlaysFromJson(std::string_view bytes) {
    const auto object = jsonObject(bytes);
    if (!object) {
        throw ServerError::unavailable;
    }
    try {
        SentPlays sent{.paused = optionalField<bool>(*object, "paused").value_or(false),
                       .plays = {}};
        for (const auto& element : requiredValue(*object, "plays").as_array()) {
            const auto& play = element.as_object();
            sent.plays.push_back(SentPlays::Play{
                .eventId = requiredField<std::string>(play, "eventId"),
                .taken = optionalField<std::int64_t>(play, "id").has_value(),
                .hidden = optionalField<bool>(play, "hidden"),
            });
        }
        return sent;
    } catch (const std::exception&) {
        throw ServerError::unavailable;
    }
}

std::optional<std::string> validURL(std::optional<std::string> text) {
    if (text && !parseURL(*text, boost::urls::parse_uri_reference)) {
        throw std::invalid_argument("the gig's link is no URL");
    }
    return text;
}

} // namespace

boost::asio::awaitable<std::string> ServerClient::call(Call call) const {
    HTTPRequest request{.url = {},
                        .method = call.method,
                        .headers = {{"Authorization", "Bearer " + key}},
                        .body = std::nullopt,
                        .timeout = timeLimit};
    const auto url = serverURL(baseURL, call.path, call.query);
    if (!url) {
        throw ServerError::unavailable;
    }
    request.url = *url;
    if (call.body) {
        auto body = sortedCompactJson(*call.body);
        if (!body) {
            throw std::invalid_argument("the request body cannot be written as JSON");
        }
        request.headers.emplace_back("Content-Type", "application/json");
        request.body = std::move(*body);
    }
    HTTPResponse response;
    bool answered = false;
    try {
        response = co_await transport->send(std::move(request));
        answered = true;
    } catch (const std::exception&) {
        // Whatever the transport's failure, the server could not be reached.
    }
    if (!answered) {
        throw ServerError::unavailable;
    }
    if (response.status >= 200 && response.status <= 299) {
        co_return std::move(response.body);
    }
    throw statusFailure(response.status, response.body);
}

boost::asio::awaitable<std::optional<Gig>>
ServerClient::currentGig(SourceState state, std::optional<std::string> program) {
    QueryItems query;
    if (auto connection = connectionQueryValue(state)) {
        query.emplace_back("virtualdj", std::move(*connection));
    }
    if (auto name = sourceQueryValue(source)) {
        query.emplace_back("source", std::move(*name));
    }
    if (source == Source::whatsNowPlaying && program) {
        query.emplace_back("program", std::move(*program));
    }
    std::string body;
    bool gone = false;
    try {
        body = co_await this->call({"GET", "/api/bridge/gig", std::move(query), std::nullopt});
    } catch (const ServerError& error) {
        if (error != ServerError::gigGone) {
            throw;
        }
        gone = true;
    }
    if (gone) {
        co_return std::nullopt;
    }
    co_return gigFromJson(json::parse(body));
}

boost::asio::awaitable<SentPlays>
ServerClient::send(std::vector<PlayEvent> plays, std::set<std::string> hidden, std::int64_t gigId) {
    json::array objects;
    for (const auto& play : plays) {
        objects.push_back(playObject(play, hidden.contains(play.id)));
    }
    const auto body =
        co_await call({"POST", gigPath(gigId) + "/plays", {}, json::object{{"plays", objects}}});
    co_return sentPlaysFromJson(body);
}

boost::asio::awaitable<void> ServerClient::setHidden(std::string eventId, std::int64_t gigId,
                                                     bool hidden) {
    co_await call({"PATCH", playPath(gigId, eventId), {}, json::object{{"hidden", hidden}}});
}

boost::asio::awaitable<void> ServerClient::remove(std::string eventId, std::int64_t gigId) {
    try {
        co_await call({"DELETE", playPath(gigId, eventId), {}, std::nullopt});
    } catch (const ServerError& error) {
        // The play is gone either way.
        if (error != ServerError::gigGone) {
            throw;
        }
    }
}

boost::asio::awaitable<void> ServerClient::endGig(std::int64_t gigId) {
    co_await call({"POST", gigPath(gigId) + "/end", {}, json::object{}});
}

std::optional<std::string> serverMessage(std::string_view bytes) {
    const auto object = jsonObject(bytes);
    if (!object) {
        return std::nullopt;
    }
    const auto* error = object->if_contains("error");
    if (!error || !error->is_string()) {
        return std::nullopt;
    }
    return std::string(error->get_string());
}

namespace {

bool isBlank(UChar32 c) {
    return u_hasBinaryProperty(c, UCHAR_WHITE_SPACE) || u_charType(c) == U_CONTROL_CHAR ||
           c == 0xFEFF || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

// Blank scalars dropped at both ends and folded to one space between others.
icu::UnicodeString foldBlanks(std::string_view text) {
    icu::UnicodeString folded;
    bool pendingSpace = false;
    const auto length = static_cast<int32_t>(text.size());
    for (int32_t i = 0; i < length;) {
        UChar32 c = 0;
        U8_NEXT(text.data(), i, length, c);
        if (c < 0) {
            c = 0xFFFD;
        }
        if (isBlank(c)) {
            pendingSpace = !folded.isEmpty();
            continue;
        }
        if (pendingSpace) {
            folded.append(static_cast<UChar>(u' '));
            pendingSpace = false;
        }
        folded.append(c);
    }
    return folded;
}

// The longest prefix of whole grapheme clusters at most `max` UTF-16 units long.
icu::UnicodeString wholeCharacters(const icu::UnicodeString& text, std::size_t max) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> characters(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status)) {
        return {};
    }
    characters->setText(text);
    const int32_t boundary = characters->preceding(static_cast<int32_t>(max) + 1);
    return icu::UnicodeString(text, 0, boundary == icu::BreakIterator::DONE ? 0 : boundary);
}

icu::UnicodeString trimSpacesAndTabs(const icu::UnicodeString& text) {
    int32_t start = 0;
    int32_t end = text.length();
    auto isSpaceOrTab = [](char16_t c) { return c == u' ' || c == u'\t'; };
    while (start < end && isSpaceOrTab(text.charAt(start))) {
        ++start;
    }
    while (end > start && isSpaceOrTab(text.charAt(end - 1))) {
        --end;
    }
    return icu::UnicodeString(text, start, end - start);
}

std::int64_t unixMilliseconds(Instant instant) {
    return std::llround((instant.time_since_epoch() + ReferenceClock::unixEpochOffset).count() *
                        1000.0);
}

std::size_t utf16Length(std::string_view text) {
    return static_cast<std::size_t>(
        icu::UnicodeString::fromUTF8(
            icu::StringPiece(text.data(), static_cast<int32_t>(text.size())))
            .length());
}

} // namespace

std::optional<std::string> plain(std::string_view text, std::size_t max, bool cut) {
    icu::UnicodeString cleaned = foldBlanks(text);
    if (static_cast<std::size_t>(cleaned.length()) > max) {
        if (!cut) {
            return std::nullopt;
        }
        cleaned = trimSpacesAndTabs(wholeCharacters(cleaned, max));
    }
    if (cleaned.isEmpty()) {
        return std::nullopt;
    }
    std::string result;
    cleaned.toUTF8String(result);
    return result;
}

json::object playObject(const PlayEvent& event, bool hidden) {
    json::object play{
        {"id", event.id},
        {"playedAt", unixMilliseconds(event.playedAt)},
        {"title", plain(event.title, 300, true).value_or("Unknown song")},
        {"artist", plain(event.artist, 300, true).value_or("Unknown artist")},
    };
    if (event.bpm && std::isfinite(*event.bpm) && *event.bpm > 0 && *event.bpm <= 400) {
        play["songBpm"] = *event.bpm;
    }
    if (event.key) {
        if (auto key = plain(*event.key, 10, false)) {
            play["key"] = std::move(*key);
        }
    }
    if (event.filePath && utf16Length(*event.filePath) <= 1000 &&
        plain(*event.filePath, 1000, true)) {
        play["filePath"] = *event.filePath;
    }
    if (event.durationMs && *event.durationMs >= 1 && *event.durationMs <= 86'399'999) {
        play["durationMs"] = *event.durationMs;
    }
    if (hidden) {
        play["hidden"] = true;
    }
    return play;
}

Gig gigFromJson(const json::value& value) {
    const auto& object = value.as_object();
    return Gig{
        .id = requiredField<std::int64_t>(object, "id"),
        .slug = requiredField<std::string>(object, "slug"),
        .name = requiredField<std::string>(object, "name"),
        .venue = optionalField<std::string>(object, "venue"),
        .sharing = requiredField<bool>(object, "sharing"),
        .url = *validURL(requiredField<std::string>(object, "url")),
        .screenUrl = validURL(optionalField<std::string>(object, "screenUrl")),
    };
}

namespace ServerPages {

namespace {

std::optional<std::string> page(std::string_view server, std::string_view suffix) {
    if (!server.empty() && server.back() == '/') {
        server.remove_suffix(1);
    }
    if (server.empty()) {
        return std::nullopt;
    }
    const std::string link = std::string(server) + std::string(suffix);
    const auto parsed = parseURL(link, boost::urls::parse_uri_reference);
    if (!parsed || !parsed->has_authority() || parsed->encoded_host().empty() ||
        !Pairing::isSafe(link)) {
        return std::nullopt;
    }
    return link;
}

} // namespace

std::optional<std::string> guide(std::string_view server) {
    return page(server, "/guide#guest");
}

std::optional<std::string> gigs(std::string_view server) {
    return page(server, "/#djsets");
}

} // namespace ServerPages

} // namespace bridge
