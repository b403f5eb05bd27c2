#include "Readers/SourceText.hpp"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

namespace bridge {

namespace {

// Length of the code point at `offset` when it is white space, else 0. Ill-formed bytes
// are not white space.
std::size_t whiteSpaceAt(std::string_view text, std::size_t offset) {
    const auto length = static_cast<int32_t>(text.size());
    auto index = static_cast<int32_t>(offset);
    UChar32 c = 0;
    U8_NEXT(text.data(), index, length, c);
    return c >= 0 && u_isUWhiteSpace(c) ? static_cast<std::size_t>(index) - offset : 0;
}

} // namespace

std::string trimmed(std::string_view text) {
    std::size_t begin = 0;
    while (begin < text.size()) {
        const std::size_t length = whiteSpaceAt(text, begin);
        if (length == 0) {
            break;
        }
        begin += length;
    }
    std::size_t end = text.size();
    while (end > begin) {
        // Step back to the first byte of the last code point.
        std::size_t start = end - 1;
        while (start > begin && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) {
            --start;
        }
        if (whiteSpaceAt(text, start) != end - start) {
            break;
        }
        end = start;
    }
    return std::string(text.substr(begin, end - begin));
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
