// Runs a simulated Pioneer set for trying the bridge by hand: two players, a DJM and a
// rekordbox laptop keep themselves alive towards the target and send their status to whoever
// announces itself; the first player's USB stick holds two songs, which the DJ plays in turn.
// Usage: prodjlink-set [--subnet 127.0.0.] [--host-base 100] [--target 127.0.0.1]
//                      [--listen-port 0] [--media-port 0]
// Device n sits at the subnet's address host base + n.
// On a link of its own (scripts/pioneer-set) it runs with every real default: devices on
// 169.254.2.x, broadcasts to 169.254.255.255, listening on 50000, NFS on 111.
#include "ProDJLinkSet.hpp"
#include "Support/Numbers.hpp"

#include <boost/asio/co_spawn.hpp>

#include <iostream>
#include <optional>
#include <string_view>

namespace {

using bridge::ProDJLinkSet;

// A failure of the script ends the program with it.
void endOnFailure(const std::exception_ptr& error) {
    if (error) {
        std::rethrow_exception(error);
    }
}

std::optional<ProDJLinkSet::Options> optionsOf(int argc, char** argv) {
    ProDJLinkSet::Options options;
    options.computer = true;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string_view flag = argv[i];
        const std::string value = argv[i + 1];
        const auto port = bridge::parseNumber<std::uint16_t>(value);
        const auto number = bridge::parseNumber<int>(value);
        if (flag == "--subnet") {
            options.subnet = value;
        } else if (flag == "--host-base" && number && *number >= 0 && *number <= 200) {
            options.hostBase = *number;
        } else if (flag == "--target") {
            options.target = value;
        } else if (flag == "--listen-port" && port) {
            options.listenPort = *port;
        } else if (flag == "--media-port" && port) {
            options.mediaPort = *port;
        } else {
            return std::nullopt;
        }
    }
    if (argc % 2 == 0) {
        return std::nullopt;
    }
    return options;
}

} // namespace

int main(int argc, char** argv) {
    using namespace std::chrono_literals;
    using bridge::ProDJLink::Slot;
    const auto options = optionsOf(argc, argv);
    if (!options) {
        std::cerr << "Usage: prodjlink-set [--subnet 127.0.0.] [--host-base 100] "
                     "[--target 127.0.0.1] [--listen-port 0] [--media-port 0]\n";
        return 2;
    }
    boost::asio::io_context context;
    ProDJLinkSet set{context, *options};
    set.start();
    set.changeMedium(1, Slot::usb,
                     {{.id = 1, .title = "Blue in Green", .artist = "Miles Davis"},
                      {.id = 2, .title = "So What", .artist = "Miles Davis"}});
    boost::asio::co_spawn(context,
                          set.run({
                              {1s, [](auto& s) { s.load(1, 1, Slot::usb, 1); }},
                              {1s, [](auto& s) { s.onAir(1, true); }},
                              {1s, [](auto& s) { s.play(1); }},
                              {30s, [](auto& s) { s.load(2, 1, Slot::usb, 2); }},
                              {1s, [](auto& s) { s.preListen(2); }},
                              {10s, [](auto& s) { s.onAir(2, true); }},
                              {1s, [](auto& s) { s.play(2); }},
                              {1s, [](auto& s) { s.onAir(1, false); }},
                              {1s, [](auto& s) { s.pause(1); }},
                          }),
                          endOnFailure);
    std::cout << "Simulated Pioneer set: players at " << set.addressOf(1) << " and "
              << set.addressOf(2) << ", sharing their media on port " << set.mediaPort()
              << "; keep-alives to " << options->target << ':' << options->announcePort
              << "; announce yourself at " << options->target << ':' << set.listenPort()
              << std::endl;
    context.run();
}
