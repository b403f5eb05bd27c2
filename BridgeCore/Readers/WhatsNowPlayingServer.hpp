#pragma once

#include "Readers/WhatsNowPlayingFeed.hpp"
#include "Server/HTTPTransport.hpp"

#include <memory>

namespace bridge {

// The tool's web server on this computer: GET /v1/last. Holds no state.
class WhatsNowPlayingServer : public WhatsNowPlayingFeed {
public:
    static constexpr int defaultPort = 8899;
    static constexpr Seconds timeout{1.5};

    explicit WhatsNowPlayingServer(std::shared_ptr<HTTPTransport> transport,
                                   int port = defaultPort);

    // The body of a 200 answer; any other status fails with HTTPError::badServerResponse,
    // and the transport's failures pass on.
    boost::asio::awaitable<std::string> last() override;

private:
    std::shared_ptr<HTTPTransport> transport;
    int port;
};

} // namespace bridge
