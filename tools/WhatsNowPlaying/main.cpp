// whatsnowplaying-stand-in: the What's Now Playing tool for trying the bridge by hand.
// Usage: whatsnowplaying-stand-in [--port N] [--two-writes] [--play-set] [--set FILE] [--every
// SECONDS] The port is the tool's own, 8899, unless given. It prints its address, then takes
// commands on standard input. With a set it also plays the set by itself and prints each
// song as the tool receives it.

#include "SetFlags.hpp"
#include "StandInConsole.hpp"
#include "Support/Numbers.hpp"
#include "WhatsNowPlayingSet.hpp"
#include "WhatsNowPlayingStandIn.hpp"

#include <exception>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::string_view help = R"(Commands:
  play title|artist|filename|bpm|key|duration|agent   the tool receives a new track
  show     the answer to /v1/last
  quit
)";

std::optional<std::string> present(const std::string& text) {
    return text.empty() ? std::nullopt : std::optional(text);
}

bridge::WhatsNowPlayingStandIn::Track trackOf(const std::string& fields) {
    std::vector<std::string> parts;
    std::istringstream input(fields);
    for (std::string part; std::getline(input, part, '|');) {
        parts.push_back(part);
    }
    parts.resize(7);
    bridge::WhatsNowPlayingStandIn::Track track{
        .title = parts[0],
        .artist = present(parts[1]),
        .filename = present(parts[2]),
        .bpm = bridge::parseNumber<double>(parts[3]),
        .key = present(parts[4]),
        .duration = bridge::parseNumber<double>(parts[5]),
    };
    if (!parts[6].empty()) {
        track.agent = parts[6];
    }
    return track;
}

void run(bridge::WhatsNowPlayingStandIn& tool, const bridge::ConsoleLine& line) {
    if (line.command == "play" && !line.rest.empty()) {
        tool.play(trackOf(line.rest));
    } else if (line.command == "show") {
        std::cout << bridge::WhatsNowPlayingStandIn::answerFor(tool.playing()) << '\n';
    } else if (!line.command.empty()) {
        std::cout << help;
    }
}

} // namespace

int main(int argc, char** argv) {
    std::uint16_t port = 8899;
    auto writes = bridge::AnswerWrites::whole;
    bridge::SetFlags set;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--port" && i + 1 < argc &&
            bridge::parseNumber<std::uint16_t>(argv[i + 1])) {
            port = *bridge::parseNumber<std::uint16_t>(argv[++i]);
        } else if (argument == "--two-writes") {
            writes = bridge::AnswerWrites::headThenBody;
        } else if (!set.take(argc, argv, i)) {
            std::cerr << "Usage: whatsnowplaying-stand-in [--port N] [--two-writes] "
                      << bridge::SetFlags::usage << '\n';
            return 2;
        }
    }
    try {
        bridge::WhatsNowPlayingStandIn tool(port, writes);
        std::cout << "What's Now Playing stand-in at http://127.0.0.1:" << tool.port()
                  << "/v1/last\nType help for commands.\n"
                  << std::flush;
        // Declared after the tool, so it stops before the tool goes.
        const auto runner =
            set.run([&tool](std::uint64_t, const bridge::SetSong& song, const bridge::SetSong&) {
                bridge::showOnTool(tool, song, std::chrono::system_clock::now());
                std::cout << "Now playing: " << song.title << " – " << song.artist << '\n'
                          << std::flush;
            });
        return bridge::serveConsole([&](const bridge::ConsoleLine& line) { run(tool, line); });
    } catch (const std::exception& failure) {
        std::cerr << "whatsnowplaying-stand-in: " << failure.what() << '\n';
        return 1;
    }
}
