#include "Server/ServerClient.hpp"

#include "Server/ServerError.hpp"
#include "Server/ServerJson.hpp"
#include "Server/ServerURL.hpp"
#include "Support/JsonText.hpp"

#include <boost/json/parse.hpp>
#include <boost/json/value.hpp>

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
    if (source.tellsProgram() && program) {
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

} // namespace bridge
