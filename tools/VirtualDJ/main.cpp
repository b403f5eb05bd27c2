// virtualdj-stand-in: VirtualDJ's Network Control for trying the bridge by hand.
// Usage: virtualdj-stand-in [--port N] [--password P] [--decks N] [--two-writes]
//                           [--play-set] [--set FILE] [--every SECONDS]
// It prints its address, then takes commands on standard input. With a set it also plays
// the set by itself, decks 1 and 2 taking turns, and prints each song as it goes on air.

#include "SetFlags.hpp"
#include "StandInConsole.hpp"
#include "Support/Numbers.hpp"
#include "VirtualDJSet.hpp"
#include "VirtualDJStandIn.hpp"

#include <exception>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>

namespace {

constexpr std::string_view help = R"(Commands:
  load D path|title|artist|remix|bpm|key|length   put a song on deck D (empty path: a stream)
  play D | mute D    make deck D heard or not
  eject D            empty deck D
  master D           make deck D the master deck
  password P         expect another password (none when P is left out)
  ask SCRIPT         what the stand-in answers to a script
  log                every script received so far
  quit
)";

bridge::VirtualDJStandIn::Track trackOf(const std::string& fields) {
    std::vector<std::string> parts;
    std::istringstream input(fields);
    for (std::string part; std::getline(input, part, '|');) {
        parts.push_back(part);
    }
    parts.resize(7);
    return bridge::VirtualDJStandIn::Track{
        .filePath = parts[0].empty() ? std::nullopt : std::optional(parts[0]),
        .title = parts[1],
        .artist = parts[2],
        .remix = parts[3],
        .bpm = bridge::parseNumber<double>(parts[4]),
        .key = parts[5],
        .lengthSeconds = bridge::parseNumber<double>(parts[6]),
    };
}

void run(bridge::VirtualDJStandIn& vdj, const bridge::ConsoleLine& line) {
    const auto& [command, rest] = line;
    std::istringstream restWords(rest);
    int deck = 0;
    const bool hasDeck = static_cast<bool>(restWords >> deck);
    std::string afterDeck;
    std::getline(restWords >> std::ws, afterDeck);
    if (command == "load" && hasDeck) {
        vdj.load(deck, trackOf(afterDeck));
    } else if ((command == "play" || command == "mute") && hasDeck) {
        vdj.setAudible(deck, command == "play");
    } else if (command == "eject" && hasDeck) {
        vdj.eject(deck);
    } else if (command == "master" && hasDeck) {
        vdj.setMasterDeck(deck);
    } else if (command == "password") {
        vdj.setPassword(rest);
    } else if (command == "ask") {
        std::cout << vdj.evaluate(rest) << '\n';
    } else if (command == "log") {
        for (const auto& script : vdj.scripts()) {
            std::cout << script << '\n';
        }
    } else if (!command.empty()) {
        std::cout << help;
    }
}

constexpr std::string_view usage =
    "Usage: virtualdj-stand-in [--port N] [--password P] [--decks N] [--two-writes] ";

} // namespace

int main(int argc, char** argv) {
    std::uint16_t port = 0;
    std::string password;
    int decks = 2;
    auto writes = bridge::AnswerWrites::whole;
    bridge::SetFlags set;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        const std::optional<std::string_view> value =
            i + 1 < argc ? std::optional<std::string_view>(argv[i + 1]) : std::nullopt;
        if (argument == "--port" && value && bridge::parseNumber<std::uint16_t>(*value)) {
            port = *bridge::parseNumber<std::uint16_t>(*value);
            ++i;
        } else if (argument == "--password" && value) {
            password = *value;
            ++i;
        } else if (argument == "--decks" && value && bridge::parseNumber<int>(*value)) {
            decks = *bridge::parseNumber<int>(*value);
            ++i;
        } else if (argument == "--two-writes") {
            writes = bridge::AnswerWrites::headThenBody;
        } else if (!set.take(argc, argv, i)) {
            std::cerr << usage << bridge::SetFlags::usage << '\n';
            return 2;
        }
    }
    try {
        bridge::VirtualDJStandIn vdj(password, decks, port, writes);
        std::cout << "VirtualDJ stand-in at http://127.0.0.1:" << vdj.port() << " with " << decks
                  << " decks\nType help for commands.\n"
                  << std::flush;
        // Declared after the stand-in, so it stops before the stand-in goes.
        const auto runner = set.run(
            [&vdj](std::uint64_t step, const bridge::SetSong& song, const bridge::SetSong& next) {
                const int deck = bridge::showOnDecks(vdj, step, song, next);
                std::cout << "On air on deck " << deck << ": " << song.title << " – " << song.artist
                          << '\n'
                          << std::flush;
            });
        return bridge::serveConsole([&](const bridge::ConsoleLine& line) {
            try {
                run(vdj, line);
            } catch (const std::out_of_range&) {
                std::cout << "No such deck\n";
            }
        });
    } catch (const std::exception& failure) {
        std::cerr << "virtualdj-stand-in: " << failure.what() << '\n';
        return 1;
    }
}
