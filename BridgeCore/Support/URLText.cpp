#include "Support/URLText.hpp"

namespace bridge {

namespace {

bool isLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// A character of a path segment, but for the percent sign that starts an escape.
bool isPathCharacter(char c) {
    static constexpr std::string_view others = "-._~!$&'()*+,;=:@";
    return isLetter(c) || isDigit(c) || others.find(c) != std::string_view::npos;
}

bool isURLCharacter(char c) {
    static constexpr std::string_view delimiters = "/?#[]%";
    return isPathCharacter(c) || delimiters.find(c) != std::string_view::npos;
}

// The length of the scheme and its colon at the start of `text`; 0 when it has none.
std::size_t schemeLength(std::string_view text) {
    if (text.empty() || !isLetter(text.front())) {
        return 0;
    }
    std::size_t at = 1;
    while (at < text.size() && (isLetter(text[at]) || isDigit(text[at]) ||
                                std::string_view("+-.").find(text[at]) != std::string_view::npos)) {
        ++at;
    }
    return at < text.size() && text[at] == ':' ? at + 1 : 0;
}

} // namespace

bool isParsableURLText(std::string_view text) {
    for (const char c : text) {
        if (!isURLCharacter(c)) {
            return false;
        }
    }
    const std::size_t scheme = schemeLength(text);
    if (scheme == 0 || text.size() != scheme + 1) {
        return true;
    }
    const char rest = text.back();
    return rest == '/' || isPathCharacter(rest);
}

} // namespace bridge
