#include "Server/SettingsRules.hpp"

#include "Server/PairingRules.hpp"
#include "Support/Text.hpp"
#include "Support/URLText.hpp"

#include <boost/url/parse.hpp>

namespace bridge::SettingsRules {

namespace {

// What the source needs in the settings besides a server and a key.
bool hasWhatItNeeds(Source source, std::string_view vdjPassword, int vdjPort,
                    std::string_view player) {
    switch (source.entry().needs) {
    case SourceNeeds::nothing:
        return true;
    case SourceNeeds::connection:
        return !vdjPassword.empty() && vdjPort >= 1 && vdjPort <= 65535;
    case SourceNeeds::player:
        return !player.empty();
    }
    return false;
}

} // namespace

bool isComplete(std::string_view server, std::string_view key, Source source,
                std::string_view vdjPassword, int vdjPort, std::string_view player) {
    return Pairing::isSafe(server) && !key.empty() &&
           hasWhatItNeeds(source, vdjPassword, vdjPort, player);
}

bool advanced(std::optional<bool> saved, std::string_view serverURL) {
    return saved.value_or(serverURL != Pairing::defaultServer);
}

namespace {

std::optional<std::uint16_t> portOf(const boost::urls::url_view& url, const std::string& scheme) {
    if (url.has_port() && !url.port().empty()) {
        return url.port_number();
    }
    if (scheme == "https") {
        return 443;
    }
    if (scheme == "http") {
        return 80;
    }
    return std::nullopt;
}

} // namespace

bool sameServer(std::string_view a, std::string_view b) {
    const auto left = parseURL(a, boost::urls::parse_uri_reference);
    const auto right = parseURL(b, boost::urls::parse_uri_reference);
    if (!left || !right || left->has_userinfo() || right->has_userinfo() || !left->has_scheme() ||
        !right->has_scheme() || !left->has_authority() || !right->has_authority() ||
        left->encoded_host().empty() || right->encoded_host().empty()) {
        return a == b;
    }
    const std::string leftScheme = lowercased(left->scheme());
    const std::string rightScheme = lowercased(right->scheme());
    if (leftScheme != rightScheme ||
        lowercased(left->encoded_host()) != lowercased(right->encoded_host())) {
        return false;
    }
    return portOf(*left, leftScheme) == portOf(*right, rightScheme);
}

int decks(std::optional<int> stored) {
    return stored && *stored >= fewestDecks && *stored <= mostDecks ? *stored : defaultDecks;
}

int countAfter(std::optional<int> stored) {
    return stored && *stored >= shortestDelay && *stored <= longestDelay ? *stored : defaultDelay;
}

} // namespace bridge::SettingsRules
