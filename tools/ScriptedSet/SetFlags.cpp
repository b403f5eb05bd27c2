#include "SetFlags.hpp"

#include "Support/Numbers.hpp"

#include <cmath>
#include <fstream>
#include <stdexcept>

namespace bridge {

bool SetFlags::take(int argc, const char* const* argv, int& i) {
    const std::string_view flag = argv[i];
    if (flag == "--play-set") {
        play = true;
        return true;
    }
    if (i + 1 >= argc || (flag != "--set" && flag != "--every")) {
        return false;
    }
    const std::string_view value = argv[++i];
    if (flag == "--set") {
        file = std::string(value);
        play = true;
        return true;
    }
    const auto seconds = parseNumber<double>(value);
    // Below a millisecond the set would not move at all.
    if (!seconds || *seconds < 0.001 || *seconds > 86400) {
        return false;
    }
    every = std::chrono::milliseconds(std::llround(*seconds * 1000));
    return true;
}

std::vector<SetSong> SetFlags::songs() const {
    if (!file) {
        return builtInSet();
    }
    std::ifstream lines(*file);
    if (!lines) {
        throw std::runtime_error("cannot read the set " + *file);
    }
    return readSet(lines);
}

std::optional<SetRunner> SetFlags::run(SetPlayer::Show show) const {
    if (!play) {
        return std::nullopt;
    }
    return std::optional<SetRunner>(
        std::in_place, SetPlayer(songs(), every, SetPlayer::Clock::now(), std::move(show)));
}

} // namespace bridge
