#pragma once

#include "Readers/VDJQuerying.hpp"
#include "Server/HTTPTransport.hpp"

#include <memory>
#include <string_view>

namespace bridge {

// VirtualDJ's Network Control extension on this computer: one GET of /query per script,
// with the password as a bearer token.
class VDJClient : public VDJQuerying {
public:
    static constexpr Seconds timeout{2.0};

    VDJClient(int port, std::string password, std::shared_ptr<HTTPTransport> transport);

    // The answer of status 200 as UTF-8, ill-formed bytes replaced. A 401 fails with
    // SourceError::notAllowed; any other status or a failed exchange with notAnswering.
    boost::asio::awaitable<std::string> query(std::string script) override;

    // The address that asks `script`, with blanks as %20; `port` is from 0 to 65535.
    static std::string url(int port, std::string_view script);

private:
    int port;
    std::string password;
    std::shared_ptr<HTTPTransport> transport;
};

} // namespace bridge
