#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace bridge {

// Full Unicode lower-case mapping of UTF-8 text, independent of the user's locale.
std::string lowercased(std::string_view text);

// Length of the well-formed UTF-8 sequence at the start of `text` (1 to 4), or 0 when the
// text is empty or starts with an ill-formed sequence: overlong forms, surrogates and code
// points above U+10FFFF are ill-formed.
std::size_t utf8SequenceLength(std::string_view text);

// UTF-16 code units as UTF-8; absent when they hold an unpaired surrogate.
std::optional<std::string> utf8FromUtf16(std::u16string_view units);

} // namespace bridge
