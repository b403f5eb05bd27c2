#pragma once

#include "Engine/Source.hpp"
#include "Server/BridgeServer.hpp"
#include "Server/HTTPTransport.hpp"

#include <boost/json/fwd.hpp>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace bridge {

// The bridge's client of the gig server's API under /api/bridge/. Keeps nothing between
// calls; every call is one request over the transport.
class ServerClient : public GigServer {
public:
    static constexpr Seconds timeLimit{15.0};

    ServerClient(std::string baseURL, std::string key, Source source,
                 std::shared_ptr<HTTPTransport> transport);

    boost::asio::awaitable<std::optional<Gig>>
    currentGig(SourceState state, std::optional<std::string> program) override;
    boost::asio::awaitable<SentPlays>
    send(std::vector<PlayEvent> plays, std::set<std::string> hidden, std::int64_t gigId) override;
    boost::asio::awaitable<void> setHidden(std::string eventId, std::int64_t gigId,
                                           bool hidden) override;
    boost::asio::awaitable<void> remove(std::string eventId, std::int64_t gigId) override;
    boost::asio::awaitable<void> endGig(std::int64_t gigId) override;

private:
    struct Call;
    boost::asio::awaitable<std::string> call(Call call) const;

    std::string baseURL;
    std::string key;
    Source source;
    std::shared_ptr<HTTPTransport> transport;
};

// The "error" text of a JSON error body.
std::optional<std::string> serverMessage(std::string_view bytes);

// A text cleaned for the server: blanks trimmed and folded to one space; longer than `max`
// UTF-16 units it is absent, or with `cut` shortened to whole characters. Empty is absent.
std::optional<std::string> plain(std::string_view text, std::size_t max, bool cut);

// The play object sent for one event.
boost::json::object playObject(const PlayEvent& event, bool hidden);

// A gig object of the server; throws when it does not decode.
Gig gigFromJson(const boost::json::value& json);

namespace ServerPages {

std::optional<std::string> guide(std::string_view server);
std::optional<std::string> gigs(std::string_view server);

} // namespace ServerPages

} // namespace bridge
