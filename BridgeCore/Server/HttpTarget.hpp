#pragma once

#include "Server/HTTPTransport.hpp"

#include <optional>
#include <string>

namespace bridge::transport {

// Where a request goes, from its URL.
struct Target {
    bool secure = false;
    std::string host;        // as resolved: no brackets around IPv6 addresses
    std::string hostAndPort; // as written in the Host field
    std::string port;
    std::string pathAndQuery; // the request target
};

// The target of an absolute http or https URL with a host; absent for anything else.
std::optional<Target> targetOf(const std::string& url);
// The request as it goes on the wire.
std::string requestBytes(const HTTPRequest& request, const Target& target);
// The origin a kept connection serves: scheme, host and port.
std::string originOf(const Target& target);

} // namespace bridge::transport
