#include "Server/PlainText.hpp"

#include "Support/SourceText.hpp"

#include <unicode/brkiter.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <memory>

namespace bridge {

namespace {

// Blank scalars dropped at both ends and folded to one space between others.
icu::UnicodeString foldBlanks(std::string_view text) {
    icu::UnicodeString folded;
    bool pendingSpace = false;
    const auto length = static_cast<int32_t>(text.size());
    for (int32_t i = 0; i < length;) {
        UChar32 c = 0;
        U8_NEXT(text.data(), i, length, c);
        if (c < 0) {
            c = 0xFFFD;
        }
        if (isInvisible(c)) {
            pendingSpace = !folded.isEmpty();
            continue;
        }
        if (pendingSpace) {
            folded.append(static_cast<UChar>(u' '));
            pendingSpace = false;
        }
        folded.append(c);
    }
    return folded;
}

// The longest prefix of whole grapheme clusters at most `max` UTF-16 units long.
icu::UnicodeString wholeCharacters(const icu::UnicodeString& text, std::size_t max) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> characters(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status)) {
        return {};
    }
    characters->setText(text);
    const int32_t boundary = characters->preceding(static_cast<int32_t>(max) + 1);
    return icu::UnicodeString(text, 0, boundary == icu::BreakIterator::DONE ? 0 : boundary);
}

icu::UnicodeString trimSpacesAndTabs(const icu::UnicodeString& text) {
    int32_t start = 0;
    int32_t end = text.length();
    auto isSpaceOrTab = [](char16_t c) { return c == u' ' || c == u'\t'; };
    while (start < end && isSpaceOrTab(text.charAt(start))) {
        ++start;
    }
    while (end > start && isSpaceOrTab(text.charAt(end - 1))) {
        --end;
    }
    return icu::UnicodeString(text, start, end - start);
}

} // namespace

std::optional<std::string> plain(std::string_view text, std::size_t max, bool cut) {
    icu::UnicodeString cleaned = foldBlanks(text);
    if (static_cast<std::size_t>(cleaned.length()) > max) {
        if (!cut) {
            return std::nullopt;
        }
        cleaned = trimSpacesAndTabs(wholeCharacters(cleaned, max));
    }
    if (cleaned.isEmpty()) {
        return std::nullopt;
    }
    std::string result;
    cleaned.toUTF8String(result);
    return result;
}

std::size_t utf16Length(std::string_view text) {
    return static_cast<std::size_t>(
        icu::UnicodeString::fromUTF8(
            icu::StringPiece(text.data(), static_cast<int32_t>(text.size())))
            .length());
}

} // namespace bridge
