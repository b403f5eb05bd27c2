// Runs a simulated Engine OS player on 127.0.0.1 for trying the bridge by hand.
// Usage: DenonPlayer [discovery port]   (default 51337)
#include "DenonPlayer.hpp"

#include <boost/asio/co_spawn.hpp>

#include <cstdlib>
#include <iostream>

namespace {

// A failure of the announcements or the script ends the program with it.
void endOnFailure(const std::exception_ptr& error) {
    if (error) {
        std::rethrow_exception(error);
    }
}

} // namespace

int main(int argc, char** argv) {
    using namespace std::chrono_literals;
    const auto port = static_cast<std::uint16_t>(argc > 1 ? std::atoi(argv[1])
                                                          : bridge::StageLinQ::discoveryPort);
    boost::asio::io_context context;
    bridge::DenonPlayer player{context};
    player.start();
    player.playerNumber(1);
    boost::asio::co_spawn(context, player.announce(port, 1s), endOnFailure);
    boost::asio::co_spawn(context,
                          player.run({
                              {1s, [](auto& p) { p.load(1, "Blue in Green", "Miles Davis"); }},
                              {1s, [](auto& p) { p.fader(1, 1.0); }},
                              {1s, [](auto& p) { p.play(1, true); }},
                              {30s, [](auto& p) { p.load(2, "So What", "Miles Davis"); }},
                              {1s, [](auto& p) { p.fader(2, 1.0); }},
                              {1s, [](auto& p) { p.play(2, true); }},
                              {1s, [](auto& p) { p.crossfader(1.0); }},
                              {1s, [](auto& p) { p.play(1, false); }},
                          }),
                          endOnFailure);
    std::cout << "Simulated player on 127.0.0.1, main port " << player.mainPort()
              << ", announcing to port " << port << std::endl;
    context.run();
}
