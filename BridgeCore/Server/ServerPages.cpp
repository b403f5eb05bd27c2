#include "Server/ServerPages.hpp"

#include "Server/PairingRules.hpp"
#include "Support/URLText.hpp"

#include <boost/url/parse.hpp>

namespace bridge::ServerPages {

namespace {

std::optional<std::string> page(std::string_view server, std::string_view suffix) {
    if (!server.empty() && server.back() == '/') {
        server.remove_suffix(1);
    }
    if (server.empty()) {
        return std::nullopt;
    }
    const std::string link = std::string(server) + std::string(suffix);
    const auto parsed = parseURL(link, boost::urls::parse_uri_reference);
    if (!parsed || !parsed->has_authority() || parsed->encoded_host().empty() ||
        !Pairing::isSafe(link)) {
        return std::nullopt;
    }
    return link;
}

} // namespace

std::optional<std::string> guide(std::string_view server) {
    return page(server, "/guide#guest");
}

std::optional<std::string> gigs(std::string_view server) {
    return page(server, "/#djsets");
}

} // namespace bridge::ServerPages
