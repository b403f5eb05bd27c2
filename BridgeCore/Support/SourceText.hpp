#pragma once

#include <unicode/umachine.h>

#include <optional>
#include <string>
#include <string_view>

namespace bridge {

// The kinds of blank the bridge's texts are trimmed of, in one place:
// Unicode white space, line breaks included: what every reader trims a source's text of.
bool isWhiteSpace(UChar32 c);
// White space on one line: tabs and space separators, not line breaks.
bool isLineBlank(UChar32 c);
// White space, controls, the byte order mark and the bidirectional marks: nothing a reader of
// the server's pages would see.
bool isInvisible(UChar32 c);

// `text` without the code points `blank` takes at either end; ill-formed bytes are no blank.
std::string_view trimmedOf(std::string_view text, bool (*blank)(UChar32));

// UTF-8 text without the Unicode white space (line breaks included) at either end.
std::string trimmed(std::string_view text);

// The trimmed text, absent when nothing is left: how every reader takes a text from a source.
std::optional<std::string> presentText(const std::optional<std::string>& text);

} // namespace bridge
