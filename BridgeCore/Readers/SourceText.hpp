#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace bridge {

// UTF-8 text without the Unicode white space (line breaks included) at either end.
std::string trimmed(std::string_view text);

// The trimmed text, absent when nothing is left: how every reader takes a text from a source.
std::optional<std::string> presentText(const std::optional<std::string>& text);

} // namespace bridge
