#pragma once

#include "Server/HTTPTransport.hpp"

#include <memory>

namespace bridge {

// HTTP and HTTPS on Boost.Beast. Each exchange opens its own connection and closes it, so
// nothing (cookies, cache, credentials, connections) carries from one request to the next.
// HTTPS verifies the server's certificate chain and host name.
class BeastTransport : public HTTPTransport {
public:
    // Trusts the system's certificate authorities.
    BeastTransport();
    // Trusts only the given PEM certificates; for tests with certificates of their own.
    explicit BeastTransport(const std::string& trustedCertificatesPem);

    boost::asio::awaitable<HTTPResponse> send(HTTPRequest request) override;

private:
    struct Tls;
    std::shared_ptr<Tls> tls;
};

} // namespace bridge
