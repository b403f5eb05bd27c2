#include "Server/Pairing.hpp"

#include "Server/ServerError.hpp"
#include "Server/ServerJson.hpp"
#include "Server/ServerURL.hpp"
#include "Support/JsonFields.hpp"
#include "Support/JsonText.hpp"
#include "Support/URLText.hpp"

#include <boost/json/parse.hpp>
#include <boost/json/value.hpp>
#include <boost/url/parse.hpp>
#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

namespace bridge {

namespace Pairing {

std::optional<std::string> code(std::string_view typed) {
    auto upper = icu::UnicodeString::fromUTF8(
        icu::StringPiece(typed.data(), static_cast<int32_t>(typed.size())));
    upper.toUpper(icu::Locale::getRoot());
    std::string cleaned;
    for (int32_t i = 0; i < upper.length(); i = upper.moveIndex32(i, 1)) {
        const UChar32 c = upper.char32At(i);
        if (u_isUWhiteSpace(c) || c == '-') {
            continue;
        }
        if (c > 0x7F || codeAlphabet.find(static_cast<char>(c)) == std::string_view::npos) {
            return std::nullopt;
        }
        cleaned += static_cast<char>(c);
    }
    if (cleaned.size() != 6 && cleaned.size() != 8) {
        return std::nullopt;
    }
    return cleaned;
}

std::string shown(std::string_view code) {
    const std::size_t half = code.size() / 2;
    return std::string(code.substr(0, half)) + " " + std::string(code.substr(half));
}

std::optional<std::string> codeInLink(std::string_view link) {
    const auto parsed = parseURL(link, boost::urls::parse_uri);
    if (!parsed || parsed->scheme() != linkScheme || !parsed->has_authority() ||
        parsed->encoded_host() != linkHost) {
        return std::nullopt;
    }
    // An empty query holds no code; Boost.URL 1.81 aborts reading the items of one that a
    // fragment follows ("?#") in debug builds.
    if (parsed->encoded_query().empty()) {
        return std::nullopt;
    }
    for (const auto& item : parsed->params()) {
        if (item.key == "code") {
            return item.has_value ? code(item.value) : std::nullopt;
        }
    }
    return std::nullopt;
}

std::string server(bool advanced, std::string_view custom) {
    const auto start = custom.find_first_not_of(" \t");
    if (advanced && start != std::string_view::npos) {
        const auto end = custom.find_last_not_of(" \t");
        return std::string(custom.substr(start, end - start + 1));
    }
    return std::string(defaultServer);
}

bool isURL(std::string_view text) {
    return parseURL(text, boost::urls::parse_uri_reference).has_value();
}

bool isSafe(std::string_view server) {
    const auto parsed = parseURL(server, boost::urls::parse_uri_reference);
    if (!parsed || !parsed->has_authority() || parsed->encoded_host().empty() ||
        parsed->has_userinfo()) {
        return false;
    }
    if (parsed->scheme() == "https") {
        return true;
    }
    const auto host = parsed->encoded_host();
    return parsed->scheme() == "http" && (host == "127.0.0.1" || host == "localhost");
}

std::optional<std::string> safeLink(const std::optional<std::string>& link) {
    return link && isSafe(*link) ? link : std::nullopt;
}

std::string message(const std::exception& error) {
    const auto* serverError = dynamic_cast<const ServerError*>(&error);
    if (serverError && serverError->kind() == ServerError::Kind::refused) {
        return serverError->message();
    }
    return "Setmara didn’t answer. Check the connection and try again.";
}

namespace {

std::optional<Paired> pairedFromJson(std::string_view body) {
    try {
        const auto json = boost::json::parse(body);
        const auto& object = json.as_object();
        return Paired{
            .key = requiredField<std::string>(object, "key"),
            .name = requiredField<std::string>(object, "name"),
            .gig = optionalField<std::string>(object, "gig"),
        };
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

} // namespace

boost::asio::awaitable<Paired> pair(std::string code, std::string server,
                                    HTTPTransport& transport) {
    const auto url = isSafe(server) ? serverURL(server, pairPath) : std::nullopt;
    if (!url) {
        throw ServerError::refused(std::string(unsafeServer));
    }
    HTTPRequest request{.url = *url,
                        .method = "POST",
                        .headers = {{"Content-Type", "application/json"}},
                        .body = sortedCompactJson(boost::json::object{{"code", code}}),
                        .timeout = Seconds{15.0}};
    HTTPResponse response;
    bool answered = false;
    try {
        response = co_await transport.send(std::move(request));
        answered = true;
    } catch (const std::exception&) {
        // No answer: reported below as unavailable.
    }
    if (!answered) {
        throw ServerError::unavailable;
    }
    const int status = response.status;
    if (status >= 200 && status <= 299) {
        auto paired = pairedFromJson(response.body);
        if (!paired) {
            throw ServerError::unavailable;
        }
        co_return std::move(*paired);
    }
    if (status == 400 || status == 404 || status == 429) {
        throw ServerError::refused(
            serverMessage(response.body).value_or("That code doesn’t work."));
    }
    throw ServerError::unavailable;
}

} // namespace Pairing

} // namespace bridge
