#pragma once

#include <boost/json/value.hpp>

#include <optional>
#include <string>
#include <string_view>

namespace bridge {

// Compact JSON text with the keys of every object in byte order and every "/" in a string
// written as "\/"; real numbers in their shortest form that reads back to the same value.
// Absent when the value holds a number that JSON cannot carry (infinite or not a number).
// Ill-formed UTF-8 in a string is written as U+FFFD, so the text always reads back.
std::optional<std::string> sortedCompactJson(const boost::json::value& value);

// The value of a JSON text, with every real number read exactly as written (Boost.JSON
// 1.81's own parser reads some one unit in the last place off, so a text written above
// would not read back to the same value). Absent when the text is not one JSON value, or
// holds a number too large for a double, which could never be written back.
std::optional<boost::json::value> exactJson(std::string_view text);

} // namespace bridge
