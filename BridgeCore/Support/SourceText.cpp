#include "Support/SourceText.hpp"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

namespace bridge {

bool isWhiteSpace(UChar32 c) {
    return u_isUWhiteSpace(c);
}

bool isLineBlank(UChar32 c) {
    return c == '\t' || u_charType(c) == U_SPACE_SEPARATOR;
}

bool isInvisible(UChar32 c) {
    return u_hasBinaryProperty(c, UCHAR_WHITE_SPACE) || u_charType(c) == U_CONTROL_CHAR ||
           c == 0xFEFF || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

std::string_view trimmedOf(std::string_view text, bool (*blank)(UChar32)) {
    const auto length = static_cast<int32_t>(text.size());
    int32_t begin = 0;
    while (begin < length) {
        int32_t next = begin;
        UChar32 c = 0;
        U8_NEXT(text.data(), next, length, c);
        if (c < 0 || !blank(c)) {
            break;
        }
        begin = next;
    }
    int32_t end = length;
    while (end > begin) {
        int32_t previous = end;
        UChar32 c = 0;
        U8_PREV(text.data(), begin, previous, c);
        if (c < 0 || !blank(c)) {
            break;
        }
        end = previous;
    }
    return text.substr(static_cast<std::size_t>(begin), static_cast<std::size_t>(end - begin));
}

std::string trimmed(std::string_view text) {
    return std::string(trimmedOf(text, isWhiteSpace));
}

std::optional<std::string> presentText(const std::optional<std::string>& text) {
    if (!text) {
        return std::nullopt;
    }
    std::string result = trimmed(*text);
    if (result.empty()) {
        return std::nullopt;
    }
    return result;
}

} // namespace bridge
