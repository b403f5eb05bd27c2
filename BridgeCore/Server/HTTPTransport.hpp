#pragma once

#include "Support/Instant.hpp"

#include <boost/asio/awaitable.hpp>

#include <exception>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace bridge {

struct HTTPRequest {
    std::string url; // absolute http or https URL
    std::string method = "GET";
    std::vector<std::pair<std::string, std::string>> headers;
    std::optional<std::string> body;
    Seconds timeout{60.0}; // for the whole exchange
};

struct HTTPResponse {
    int status = 0;
    std::string body;
};

// The ways an exchange fails besides the network's own errors, which pass on as they are.
class HTTPError : public std::exception {
public:
    enum class Kind { timedOut, badServerResponse, dataLengthExceedsMaximum, badURL };

    static const HTTPError timedOut;
    static const HTTPError badServerResponse;
    static const HTTPError dataLengthExceedsMaximum;
    static const HTTPError badURL;

    explicit HTTPError(Kind kind) noexcept : kind(kind) {}
    const char* what() const noexcept override;
    bool operator==(const HTTPError& other) const noexcept { return kind == other.kind; }

    Kind kind;
};

inline const HTTPError HTTPError::timedOut{Kind::timedOut};
inline const HTTPError HTTPError::badServerResponse{Kind::badServerResponse};
inline const HTTPError HTTPError::dataLengthExceedsMaximum{Kind::dataLengthExceedsMaximum};
inline const HTTPError HTTPError::badURL{Kind::badURL};

// One HTTP exchange. Every status is an answer; failures are HTTPError or network errors.
class HTTPTransport {
public:
    // The largest answer body taken: 16 MiB.
    static constexpr std::size_t maximumBody = 16'777'216;

    virtual ~HTTPTransport() = default;
    virtual boost::asio::awaitable<HTTPResponse> send(HTTPRequest request) = 0;
};

} // namespace bridge
