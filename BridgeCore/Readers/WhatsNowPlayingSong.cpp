#include "Readers/WhatsNowPlayingSong.hpp"

#include "Support/Numbers.hpp"
#include "Support/SourceText.hpp"
#include "Support/Text.hpp"
#include "Values/VDJSnapshot.hpp"

#include <boost/json/object.hpp>

#include <array>
#include <chrono>
#include <cmath>
#include <utility>

namespace bridge {

namespace {

std::optional<std::string> textOf(const boost::json::object& json, std::string_view key) {
    const auto* value = json.if_contains(key);
    if (value == nullptr || !value->is_string()) {
        return std::nullopt;
    }
    const auto& text = value->get_string();
    return presentText(std::string(text.data(), text.size()));
}

std::optional<double> numberOf(const boost::json::object& json, std::string_view key) {
    const auto* value = json.if_contains(key);
    std::optional<double> number;
    if (value != nullptr && value->is_number()) {
        number = value->to_number<double>();
    } else if (value != nullptr && value->is_string()) {
        const auto& text = value->get_string();
        number =
            parseNumber<double>(trimmedOf(std::string_view(text.data(), text.size()), isLineBlank));
    }
    if (number && (!std::isfinite(*number) || *number <= 0)) {
        return std::nullopt;
    }
    return number;
}

// Reads fixed-width decimal fields off the front of a text.
class DateText {
public:
    explicit DateText(std::string_view text) : rest(text) {}

    std::optional<int> digits(std::size_t count) {
        if (rest.size() < count) {
            return std::nullopt;
        }
        int value = 0;
        for (std::size_t i = 0; i < count; ++i) {
            if (!isDigit(rest[i])) {
                return std::nullopt;
            }
            value = value * 10 + (rest[i] - '0');
        }
        rest.remove_prefix(count);
        return value;
    }

    // Takes `c` when it comes next.
    bool take(char c) {
        if (rest.empty() || rest.front() != c) {
            return false;
        }
        rest.remove_prefix(1);
        return true;
    }

    // The fraction after a decimal point: one digit or more, as many as there are.
    std::optional<double> fraction() {
        double value = 0;
        double scale = 0.1;
        std::size_t count = 0;
        while (count < rest.size() && isDigit(rest[count])) {
            value += (rest[count] - '0') * scale;
            scale /= 10;
            ++count;
        }
        if (count == 0) {
            return std::nullopt;
        }
        rest.remove_prefix(count);
        return value;
    }

    bool atEnd() const { return rest.empty(); }

private:
    static bool isDigit(char c) { return c >= '0' && c <= '9'; }

    std::string_view rest;
};

} // namespace

std::optional<Instant> WhatsNowPlayingSong::time(std::string_view text) {
    using namespace std::chrono;
    DateText date(text);
    const auto yearValue = date.digits(4);
    if (!yearValue || !date.take('-')) {
        return std::nullopt;
    }
    const auto monthValue = date.digits(2);
    if (!monthValue || !date.take('-')) {
        return std::nullopt;
    }
    const auto dayValue = date.digits(2);
    if (!dayValue || !date.take('T')) {
        return std::nullopt;
    }
    const auto hour = date.digits(2);
    if (!hour || *hour > 23 || !date.take(':')) {
        return std::nullopt;
    }
    const auto minute = date.digits(2);
    if (!minute || *minute > 59 || !date.take(':')) {
        return std::nullopt;
    }
    const auto second = date.digits(2);
    if (!second || *second > 59) {
        return std::nullopt;
    }
    double fraction = 0;
    if (date.take('.')) {
        const auto digits = date.fraction();
        if (!digits) {
            return std::nullopt;
        }
        fraction = *digits;
    }
    int offsetMinutes = 0;
    if (!date.take('Z')) {
        const int sign = date.take('+') ? 1 : date.take('-') ? -1 : 0;
        const auto offsetHours = sign != 0 ? date.digits(2) : std::nullopt;
        if (!offsetHours || *offsetHours > 23 || !date.take(':')) {
            return std::nullopt;
        }
        const auto offsetMinute = date.digits(2);
        if (!offsetMinute || *offsetMinute > 59) {
            return std::nullopt;
        }
        offsetMinutes = sign * (*offsetHours * 60 + *offsetMinute);
    }
    const year_month_day day{year{*yearValue}, month{static_cast<unsigned>(*monthValue)},
                             std::chrono::day{static_cast<unsigned>(*dayValue)}};
    if (!date.atEnd() || !day.ok()) {
        return std::nullopt;
    }
    const auto unixSeconds = sys_days(day).time_since_epoch() + hours(*hour) +
                             minutes(*minute - offsetMinutes) + std::chrono::seconds(*second);
    return Instant{Seconds(unixSeconds) - ReferenceClock::unixEpochOffset + Seconds(fraction)};
}

std::optional<std::string>
WhatsNowPlayingSong::programName(const std::optional<std::string>& name) {
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 11> programs{{
        {"serato", "Serato"},
        {"serato3", "Serato"},
        {"traktor", "Traktor"},
        {"rekordbox", "rekordbox"},
        {"denon", "Engine DJ"},
        {"djaypro", "djay"},
        {"djuced", "DJUCED"},
        {"virtualdj", "VirtualDJ"},
        {"jriver", "JRiver"},
        {"icecast", "Icecast"},
        {"earshot", "EarShot"},
    }};
    if (!name) {
        return std::nullopt;
    }
    const std::string lower = lowercased(*name);
    for (const auto& [agent, display] : programs) {
        if (agent == lower) {
            return std::string(display);
        }
    }
    return std::nullopt;
}

std::optional<WhatsNowPlayingSong> WhatsNowPlayingSong::fromJson(const boost::json::object& json) {
    auto title = textOf(json, "title");
    if (!title) {
        return std::nullopt;
    }
    WhatsNowPlayingSong song;
    song.artist = textOf(json, "artist");
    const auto filename = textOf(json, "filename");
    song.file = filename ? *filename : OneDeck::file("whatsnowplaying", song.artist, title);
    song.title = std::move(*title);
    song.bpm = numberOf(json, "bpm");
    song.key = textOf(json, "key");
    song.length = numberOf(json, "duration");
    const auto received = textOf(json, "track_received");
    song.started = received ? time(*received) : std::nullopt;
    song.program = programName(textOf(json, "source_agent_name"));
    return song;
}

} // namespace bridge
