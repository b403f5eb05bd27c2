// Runs a simulated Pioneer set on 127.0.0.x for trying the bridge by hand: two players and a
// DJM keep themselves alive towards 127.0.0.1 and send their status to whoever announces
// itself on the set's port.
// Usage: prodjlink-set [announce port] [beat port] [status port]   (default 50000 50001 50002)
#include "ProDJLinkSet.hpp"

#include <boost/asio/co_spawn.hpp>

#include <cstdlib>
#include <iostream>

namespace {

// A failure of the script ends the program with it.
void endOnFailure(const std::exception_ptr& error) {
    if (error) {
        std::rethrow_exception(error);
    }
}

std::uint16_t portArgument(int argc, char** argv, int index, std::uint16_t fallback) {
    return static_cast<std::uint16_t>(argc > index ? std::atoi(argv[index]) : fallback);
}

} // namespace

int main(int argc, char** argv) {
    using namespace std::chrono_literals;
    using bridge::ProDJLink::Slot;
    bridge::ProDJLinkSet::Options options;
    options.announcePort = portArgument(argc, argv, 1, options.announcePort);
    options.beatPort = portArgument(argc, argv, 2, options.beatPort);
    options.statusPort = portArgument(argc, argv, 3, options.statusPort);
    options.computer = true;
    boost::asio::io_context context;
    bridge::ProDJLinkSet set{context, options};
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
              << set.addressOf(2) << ", keep-alives to 127.0.0.1:" << options.announcePort
              << "; announce yourself to 127.0.0.1:" << set.listenPort() << std::endl;
    context.run();
}
