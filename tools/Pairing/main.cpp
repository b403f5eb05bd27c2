// bridge-pair: exchanges a pairing code for a bridge key with the request the bridge makes.
// Usage: bridge-pair SERVER CODE
// Prints the key on the first line and what the server calls the pairing on the second.

#include "Server/BeastTransport.hpp"
#include "Server/Pairing.hpp"

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/use_future.hpp>

#include <exception>
#include <iostream>

int main(int argc, char** argv) {
    const auto code = argc == 3 ? bridge::Pairing::code(argv[2]) : std::nullopt;
    if (!code) {
        std::cerr << "Usage: bridge-pair SERVER CODE   (CODE: 6 or 8 characters)\n";
        return 2;
    }
    boost::asio::io_context context;
    bridge::BeastTransport transport;
    auto paired = boost::asio::co_spawn(context, bridge::Pairing::pair(*code, argv[1], transport),
                                        boost::asio::use_future);
    context.run();
    try {
        const auto answer = paired.get();
        std::cout << answer.key << '\n' << answer.summary() << '\n';
        return 0;
    } catch (const std::exception& failure) {
        std::cerr << "bridge-pair: " << bridge::Pairing::message(failure) << '\n';
        return 1;
    }
}
