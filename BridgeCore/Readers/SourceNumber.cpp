#include "Readers/SourceNumber.hpp"

#include <charconv>
#include <cmath>

namespace bridge {

std::optional<double> decimalNumber(std::string_view text) {
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc{} || stop != end || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

} // namespace bridge
