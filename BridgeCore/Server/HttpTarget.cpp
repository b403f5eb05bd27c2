#include "Server/HttpTarget.hpp"

#include "Support/URLText.hpp"

#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>
#include <boost/url/parse.hpp>

#include <sstream>

namespace bridge::transport {

namespace http = boost::beast::http;

std::optional<Target> targetOf(const std::string& url) {
    const auto parsed = parseURL(url, boost::urls::parse_absolute_uri);
    if (!parsed || parsed->encoded_host().empty()) {
        return std::nullopt;
    }
    Target target;
    if (parsed->scheme_id() == boost::urls::scheme::https) {
        target.secure = true;
    } else if (parsed->scheme_id() != boost::urls::scheme::http) {
        return std::nullopt;
    }
    target.host = parsed->host_address();
    target.hostAndPort = parsed->encoded_host_and_port();
    target.port = parsed->has_port() ? std::string(parsed->port()) : (target.secure ? "443" : "80");
    target.pathAndQuery =
        parsed->encoded_path().empty() ? "/" : std::string(parsed->encoded_path());
    if (parsed->has_query()) {
        target.pathAndQuery += "?" + std::string(parsed->encoded_query());
    }
    return target;
}

namespace {

http::request<http::string_body> messageOf(const HTTPRequest& request, const Target& target) {
    http::request<http::string_body> message;
    message.method_string(request.method);
    message.target(target.pathAndQuery);
    message.version(11);
    message.set(http::field::host, target.hostAndPort);
    for (const auto& [name, value] : request.headers) {
        message.insert(name, value);
    }
    if (request.body) {
        message.body() = *request.body;
        message.prepare_payload();
    }
    return message;
}

std::string bytesOf(const http::request<http::string_body>& message) {
    std::ostringstream bytes;
    bytes << message;
    return std::move(bytes).str();
}

} // namespace

std::string requestBytes(const HTTPRequest& request, const Target& target) {
    return bytesOf(messageOf(request, target));
}

std::string originOf(const Target& target) {
    return (target.secure ? "https://" : "http://") + target.hostAndPort + "|" + target.port;
}

} // namespace bridge::transport
