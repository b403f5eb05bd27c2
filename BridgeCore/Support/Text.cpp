#include "Support/Text.hpp"

#include <unicode/locid.h>
#include <unicode/unistr.h>
#include <unicode/ustring.h>
#include <unicode/utf8.h>

#include <algorithm>

namespace bridge {

std::string lowercased(std::string_view text) {
    auto unicode = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), text.size()));
    unicode.toLower(icu::Locale::getRoot());
    std::string result;
    unicode.toUTF8String(result);
    return result;
}

std::optional<std::string> utf8FromUtf16(std::u16string_view units) {
    if (units.empty()) {
        return std::string();
    }
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    u_strToUTF8(nullptr, 0, &length, units.data(), static_cast<int32_t>(units.size()), &status);
    if (status != U_BUFFER_OVERFLOW_ERROR) {
        return std::nullopt;
    }
    std::string text(static_cast<std::size_t>(length), '\0');
    status = U_ZERO_ERROR;
    u_strToUTF8(text.data(), length, nullptr, units.data(), static_cast<int32_t>(units.size()),
                &status);
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    return text;
}

std::size_t utf8SequenceLength(std::string_view s) {
    // ICU's reading refuses overlong forms, surrogates and code points above U+10FFFF.
    const auto length = static_cast<int32_t>(std::min<std::size_t>(s.size(), 4));
    int32_t next = 0;
    UChar32 c = 0;
    if (length == 0) {
        return 0;
    }
    U8_NEXT(s.data(), next, length, c);
    return c < 0 ? 0 : static_cast<std::size_t>(next);
}

} // namespace bridge
