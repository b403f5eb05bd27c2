#include "Readers/VDJClient.hpp"

#include "Values/SourceError.hpp"

#include <boost/url/encode.hpp>
#include <boost/url/rfc/unreserved_chars.hpp>
#include <boost/url/url.hpp>
#include <unicode/unistr.h>

namespace bridge {

VDJClient::VDJClient(int port, std::string password, std::shared_ptr<HTTPTransport> transport)
    : port(port), password(std::move(password)), transport(std::move(transport)) {}

std::string VDJClient::url(int port, std::string_view script) {
    boost::urls::url address;
    address.set_scheme_id(boost::urls::scheme::http);
    address.set_host_ipv4(boost::urls::ipv4_address(0x7F000001));
    address.set_port_number(static_cast<std::uint16_t>(port));
    address.set_path("/query");
    // Only letters, digits, "-._~" and the apostrophe stay as they are: a blank goes as %20
    // and a "+" as %2B, never to be mistaken for each other.
    static constexpr auto plain =
        boost::urls::unreserved_chars + boost::urls::grammar::lut_chars("'");
    address.set_encoded_query("script=" + boost::urls::encode(script, plain));
    return std::string(address.buffer());
}

boost::asio::awaitable<std::string> VDJClient::query(std::string script) {
    if (port < 0 || port > 65535) {
        throw SourceError::notAnswering; // nothing can listen there
    }
    HTTPRequest request{.url = url(port, script), .timeout = timeout};
    // Sent also without a password: Network Control then expects exactly "Bearer ".
    request.headers.emplace_back("Authorization", "Bearer " + password);
    HTTPResponse response;
    try {
        response = co_await transport->send(std::move(request));
    } catch (...) {
        throw SourceError::notAnswering;
    }
    if (response.status == 401) {
        throw SourceError::notAllowed;
    }
    if (response.status != 200) {
        throw SourceError::notAnswering;
    }
    std::string text;
    icu::UnicodeString::fromUTF8(response.body).toUTF8String(text);
    co_return text;
}

} // namespace bridge
