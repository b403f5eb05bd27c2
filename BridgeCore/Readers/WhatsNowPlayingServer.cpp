#include "Readers/WhatsNowPlayingServer.hpp"

namespace bridge {

WhatsNowPlayingServer::WhatsNowPlayingServer(std::shared_ptr<HTTPTransport> transport, int port)
    : transport(std::move(transport)), port(port) {}

boost::asio::awaitable<std::string> WhatsNowPlayingServer::last() {
    auto response = co_await transport->send(HTTPRequest{
        .url = "http://127.0.0.1:" + std::to_string(port) + "/v1/last", .timeout = timeout});
    if (response.status != 200) {
        throw HTTPError::badServerResponse;
    }
    co_return std::move(response.body);
}

} // namespace bridge
