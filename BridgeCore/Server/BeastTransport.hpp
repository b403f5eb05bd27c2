#pragma once

#include "Server/HTTPTransport.hpp"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace bridge {

// Finds where a host is. The system's lookup cannot be cancelled, so the transport never
// waits for an answer past its deadline; an answer that comes later is dropped.
class NameResolving {
public:
    struct Address {
        std::string ip; // numeric, IPv4 or IPv6
        std::uint16_t port = 0;
    };

    virtual ~NameResolving() = default;
    // The addresses of `host` (a name or an address) and `port`, in the order to try them.
    virtual boost::asio::awaitable<std::vector<Address>> resolve(std::string host,
                                                                 std::string port) = 0;
};

// HTTP and HTTPS on Boost.Beast. Like the platforms' clients it keeps idle connections per
// origin (scheme, host, port) for about 30 seconds and sends the next request to that origin
// on one of them; nothing else (cookies, cache, credentials) carries from one request to the
// next. HTTPS verifies the server's certificate chain and host name.
class BeastTransport : public HTTPTransport {
public:
    // Trusts the system's certificate authorities.
    BeastTransport();
    // Trusts only the given PEM certificates; for tests with certificates of their own.
    explicit BeastTransport(const std::string& trustedCertificatesPem);
    // Finds hosts through `names` instead of the system's lookup.
    explicit BeastTransport(std::shared_ptr<NameResolving> names);
    // A folder of trusted certificates, named by subject hash as OpenSSL's rehash names them.
    struct TrustedFolder {
        std::string path;
    };
    // Trusts only the certificates in the folder; for tests of the system's kind of trust.
    explicit BeastTransport(const TrustedFolder& folder);

    boost::asio::awaitable<HTTPResponse> send(HTTPRequest request) override;

private:
    struct Tls;
    struct Pool;
    static std::shared_ptr<Tls> trusting(const char* folder);

    std::shared_ptr<Tls> tls;
    std::shared_ptr<NameResolving> names;
    std::shared_ptr<Pool> pool;
};

} // namespace bridge
