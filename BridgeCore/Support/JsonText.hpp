#pragma once

#include <boost/json/value.hpp>

#include <optional>
#include <string>

namespace bridge {

// Compact JSON text with the keys of every object in byte order and every "/" in a string
// written as "\/"; real numbers in their shortest form that reads back to the same value.
// Absent when the value holds a number that JSON cannot carry (infinite or not a number).
// Ill-formed UTF-8 in a string is written as U+FFFD, so the text always reads back.
std::optional<std::string> sortedCompactJson(const boost::json::value& value);

} // namespace bridge
