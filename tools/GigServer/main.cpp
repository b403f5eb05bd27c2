// gig-server-stand-in: the local gig server for trying the bridge by hand.
// Usage: gig-server-stand-in [--port N] [--no-gig] [--name NAME] [--venue VENUE]
// It starts a live gig (unless --no-gig) with that name and venue, prints its address, the
// gig's dancers' page and venue screen and a pairing code, then takes commands on standard
// input.

#include "GigServerStandIn.hpp"
#include "StandInConsole.hpp"
#include "Support/Numbers.hpp"

#include <exception>
#include <iostream>
#include <string>
#include <string_view>

namespace {

constexpr std::string_view help = R"(Commands:
  code [gig]      a new pairing code, for the named gig when given
  start [name]    start a live gig (the live one ends) at the venue given at start-up
  end             end the live gig
  share on|off    let dancers see the live gig or not
  pause | resume  stop or go on taking this bridge's plays
  plays           the plays of the live gig
  quit
)";

void showCode(bridge::GigServerStandIn& server, std::string gig) {
    auto code =
        server.makePairingCode("Stand-in bridge", gig.empty() ? std::nullopt : std::optional(gig));
    std::cout << "Pairing code: " << code.substr(0, 4) << ' ' << code.substr(4)
              << "   link: setmara-bridge://pair?code=" << code << '\n';
}

void showGig(const bridge::GigServerStandIn& server) {
    if (auto gig = server.liveGig()) {
        std::cout << "Live gig " << gig->id << ": " << gig->name
                  << (gig->sharing ? " (shared)" : " (not shared)")
                  << "\nDancers’ page: " << gig->url << "\nVenue screen: " << gig->screen() << '\n';
    } else {
        std::cout << "No live gig\n";
    }
    if (const auto reads = server.bridgeReads()) {
        std::cout << "The bridge reads " << reads->source.value_or("virtualdj")
                  << (reads->program ? " (" + *reads->program + ")" : "")
                  << (reads->connection ? ", " + *reads->connection : "") << '\n';
    }
}

void showPlays(const bridge::GigServerStandIn& server) {
    auto gig = server.liveGig();
    if (!gig) {
        std::cout << "No live gig\n";
        return;
    }
    for (const auto& play : server.plays(gig->id)) {
        std::cout << play.id << (play.hidden ? " hidden " : " ") << play.object << '\n';
    }
}

void run(bridge::GigServerStandIn& server, const bridge::GigServerStandIn::GigSetup& setup,
         const bridge::ConsoleLine& line) {
    const auto& [command, rest] = line;
    if (command == "code") {
        showCode(server, rest);
    } else if (command == "start") {
        auto next = setup;
        if (!rest.empty()) {
            next.name = rest;
        }
        server.startGig(next);
        showGig(server);
    } else if (command == "end") {
        server.endGig();
        showGig(server);
    } else if (command == "share" && (rest == "on" || rest == "off")) {
        if (server.liveGig()) {
            server.setSharing(rest == "on");
        }
        showGig(server);
    } else if (command == "pause" || command == "resume") {
        server.setPaused(command == "pause");
        std::cout << (command == "pause" ? "Paused\n" : "Taking plays\n");
    } else if (command == "plays") {
        showPlays(server);
    } else if (!command.empty()) {
        std::cout << help;
    }
}

} // namespace

int main(int argc, char** argv) {
    std::uint16_t port = 0;
    bool startWithGig = true;
    bridge::GigServerStandIn::GigSetup setup;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        const bool hasValue = i + 1 < argc;
        if (argument == "--port" && hasValue && bridge::parseNumber<std::uint16_t>(argv[i + 1])) {
            port = *bridge::parseNumber<std::uint16_t>(argv[++i]);
        } else if (argument == "--no-gig") {
            startWithGig = false;
        } else if (argument == "--name" && hasValue) {
            setup.name = argv[++i];
        } else if (argument == "--venue" && hasValue) {
            setup.venue = argv[++i];
        } else {
            std::cerr << "Usage: gig-server-stand-in [--port N] [--no-gig] [--name NAME] "
                         "[--venue VENUE]\n";
            return 2;
        }
    }
    try {
        bridge::GigServerStandIn server(port);
        std::cout << "Gig server stand-in at " << server.url() << '\n';
        if (startWithGig) {
            server.startGig(setup);
        }
        showGig(server);
        showCode(server, {});
        std::cout << "Type help for commands.\n" << std::flush;
        return bridge::serveConsole(
            [&](const bridge::ConsoleLine& line) { run(server, setup, line); });
    } catch (const std::exception& failure) {
        std::cerr << "gig-server-stand-in: " << failure.what() << '\n';
        return 1;
    }
}
