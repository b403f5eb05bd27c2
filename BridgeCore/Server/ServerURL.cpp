#include "Server/ServerURL.hpp"

#include "Support/URLText.hpp"

#include <boost/url/parse.hpp>
#include <boost/url/url.hpp>

namespace bridge {

std::optional<std::string> serverURL(std::string_view base, std::string_view path,
                                     const QueryItems& query) {
    auto parsed = parseURL(base, boost::urls::parse_uri);
    if (!parsed) {
        return std::nullopt;
    }
    boost::urls::url url = *parsed;
    std::string joined(url.encoded_path());
    while (!joined.empty() && joined.back() == '/') {
        joined.pop_back();
    }
    joined += path;
    url.set_encoded_path(joined);
    if (!query.empty()) {
        url.remove_query();
        for (const auto& [name, value] : query) {
            url.params().append({name, value});
        }
    }
    return std::string(url.buffer());
}

std::string pathSegment(std::string_view text) {
    static constexpr std::string_view kept = "-._~!$&'()*+,;=:@";
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string encoded;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            kept.find(c) != std::string_view::npos) {
            encoded += c;
        } else {
            encoded += '%';
            encoded += hex[byte >> 4];
            encoded += hex[byte & 0xF];
        }
    }
    return encoded;
}

} // namespace bridge
