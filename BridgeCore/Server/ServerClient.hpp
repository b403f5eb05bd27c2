#pragma once

#include "Server/BridgeServer.hpp"
#include "Server/HTTPTransport.hpp"
#include "Values/Source.hpp"

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

} // namespace bridge
