#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace bridge {

struct TestRequest {
    std::string method = "GET";
    std::string target = "/";
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
};

struct TestAnswer {
    unsigned status = 0;
    std::string contentType;
    std::string body;
};

// One request to 127.0.0.1 on a connection and an io_context of its own. Throws
// boost::system::system_error when no HTTP answer arrives within `limit`.
TestAnswer sendTestRequest(std::uint16_t port, const TestRequest& request,
                           std::chrono::milliseconds limit = std::chrono::seconds(5));

// Writes `bytes` and returns everything read until the server closes the connection.
std::string sendRawBytes(std::uint16_t port, const std::string& bytes,
                         std::chrono::milliseconds limit = std::chrono::seconds(5));

} // namespace bridge
