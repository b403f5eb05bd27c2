#include "Readers/SpotifyReader.hpp"

#include "Support/Numbers.hpp"
#include "Support/SourceText.hpp"
#include "Values/SourceError.hpp"

#include <cmath>
#include <vector>

namespace bridge {

namespace {

// Spotify gives durations in milliseconds; a smaller number is taken as seconds already.
constexpr double smallestMilliseconds = 10'000.0;

std::optional<double> durationSeconds(std::string_view text) {
    const auto value = parseNumber<double>(text);
    if (!value) {
        return std::nullopt;
    }
    return *value >= smallestMilliseconds ? *value / 1000.0 : *value;
}

std::vector<std::string_view> fields(std::string_view reply) {
    std::vector<std::string_view> result;
    for (std::size_t start = 0;;) {
        const std::size_t tab = reply.find('\t', start);
        result.push_back(reply.substr(start, tab - start));
        if (tab == std::string_view::npos) {
            return result;
        }
        start = tab + 1;
    }
}

} // namespace

SpotifyReader::SpotifyReader(std::shared_ptr<ScriptRunning> runner) : runner(std::move(runner)) {}

boost::asio::awaitable<VDJSnapshot> SpotifyReader::read() {
    std::string reply;
    try {
        reply = co_await runner->run(std::string(script));
    } catch (const ScriptError& error) {
        throw error.kind == ScriptError::Kind::notAllowed ? SourceError::notAllowed
                                                          : SourceError::notAnswering;
    } catch (...) {
        throw SourceError::notAnswering;
    }
    co_return snapshot(reply);
}

VDJSnapshot SpotifyReader::snapshot(std::string_view reply) {
    const std::string answer = trimmed(reply);
    if (answer == "not running") {
        throw SourceError::notAnswering;
    }
    if (answer == "stopped") {
        return VDJSnapshot::oneDeck(std::nullopt, false);
    }
    const auto parts = fields(answer);
    if (parts.size() != 5 || (parts[0] != "playing" && parts[0] != "paused")) {
        throw SourceError::notAnswering;
    }
    return VDJSnapshot::oneDeck(Song{.filePath = std::string(parts[1]),
                                     .title = presentText(std::string(parts[2])),
                                     .artist = presentText(std::string(parts[3])),
                                     .lengthSeconds = durationSeconds(parts[4])},
                                parts[0] == "playing");
}

} // namespace bridge
