// whatsnowplaying-stand-in: the What's Now Playing tool for trying the bridge by hand.
// Usage: whatsnowplaying-stand-in [--port N]   (the tool's own port, 8899, by default)
// It prints its address, then takes commands on standard input.

#include "StandInConsole.hpp"
#include "Support/Numbers.hpp"
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

} // namespace

int main(int argc, char** argv) {
    std::uint16_t port = 8899;
    if (argc == 3 && std::string_view(argv[1]) == "--port") {
        const std::string_view value = argv[2];
        const auto parsed = bridge::parseNumber<std::uint16_t>(value);
        if (!parsed) {
            std::cerr << "Not a port: " << value << '\n';
            return 2;
        }
        port = *parsed;
    } else if (argc != 1) {
        std::cerr << "Usage: whatsnowplaying-stand-in [--port N]\n";
        return 2;
    }
    try {
        bridge::WhatsNowPlayingStandIn tool(port);
        std::cout << "What's Now Playing stand-in at http://127.0.0.1:" << tool.port()
                  << "/v1/last\nType help for commands.\n"
                  << std::flush;
        std::optional<bridge::WhatsNowPlayingStandIn::Track> last;
        return bridge::serveConsole([&](const bridge::ConsoleLine& line) {
            if (line.command == "play" && !line.rest.empty()) {
                last = trackOf(line.rest);
                tool.play(*last);
            } else if (line.command == "show") {
                std::cout << bridge::WhatsNowPlayingStandIn::answerFor(last) << '\n';
            } else if (!line.command.empty()) {
                std::cout << help;
            }
        });
    } catch (const std::exception& failure) {
        std::cerr << "whatsnowplaying-stand-in: " << failure.what() << '\n';
        return 1;
    }
}
