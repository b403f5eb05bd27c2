#include "Readers/MediaPlayers.hpp"

#include <algorithm>
#include <cctype>

namespace bridge::MprisName {

namespace {

constexpr std::string_view instanceMark = ".instance";

} // namespace

std::string withoutInstance(std::string_view busName) {
    const auto at = busName.rfind(instanceMark);
    if (at == std::string_view::npos || at < prefix.size()) {
        return std::string(busName);
    }
    const auto digits = busName.substr(at + instanceMark.size());
    const bool isInstance =
        !digits.empty() && std::all_of(digits.begin(), digits.end(), [](char c) {
            return std::isdigit(static_cast<unsigned char>(c)) != 0;
        });
    return std::string(isInstance ? busName.substr(0, at) : busName);
}

bool isOf(std::string_view busName, std::string_view player) {
    return busName.starts_with(prefix) && withoutInstance(busName) == player;
}

} // namespace bridge::MprisName
