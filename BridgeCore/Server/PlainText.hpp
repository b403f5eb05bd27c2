#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace bridge {

// A text cleaned for the server: blanks trimmed and folded to one space; longer than `max`
// UTF-16 units it is absent, or with `cut` shortened to whole characters. Empty is absent.
std::optional<std::string> plain(std::string_view text, std::size_t max, bool cut);

// The length of UTF-8 text in UTF-16 units, as the server counts.
std::size_t utf16Length(std::string_view text);

} // namespace bridge
