#pragma once

#include "PlayQueue/Entry.hpp"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bridge::QueueFile {

// The file's text: one compact JSON array of the entries, oldest first, keys sorted, "/"
// escaped, absent optionals left out, instants as seconds since 2001-01-01T00:00:00Z.
// Absent when an entry holds a number that JSON cannot carry.
std::optional<std::string> encode(const std::vector<Entry>& entries);

// The entries of a file's text. Only "event" is required in an entry; missing keys take
// their defaults. Absent when the text is not such an array.
std::optional<std::vector<Entry>> decode(std::string_view bytes);

} // namespace bridge::QueueFile
