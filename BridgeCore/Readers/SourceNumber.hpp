#pragma once

#include <optional>
#include <string_view>

namespace bridge {

// A finite number written in plain decimal text, such as "124.00" or "-3"; absent for
// anything else, white space included.
std::optional<double> decimalNumber(std::string_view text);

} // namespace bridge
