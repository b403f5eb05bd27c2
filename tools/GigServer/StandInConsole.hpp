#pragma once

#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace bridge {

// One typed line of a stand-in's console: its first word and the rest.
struct ConsoleLine {
    std::string command;
    std::string rest;
};

// The console of a stand-in run by hand: hands every typed line to `handle` until "quit",
// and returns 0 then. When input closes instead, the stand-in serves on until the process
// is interrupted.
inline int serveConsole(const std::function<void(const ConsoleLine&)>& handle) {
    for (std::string text; std::getline(std::cin, text);) {
        std::istringstream words(text);
        ConsoleLine line;
        words >> line.command;
        std::getline(words >> std::ws, line.rest);
        if (line.command == "quit") {
            return 0;
        }
        handle(line);
        std::cout << std::flush;
    }
    for (;;) {
        ::pause();
    }
}

} // namespace bridge
