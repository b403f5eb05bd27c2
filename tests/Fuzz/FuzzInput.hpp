#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace bridge::fuzz {

inline std::string_view text(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// The input cut at every NUL byte: one piece per answer of a conversation.
inline std::vector<std::string_view> pieces(std::string_view input) {
    std::vector<std::string_view> result;
    for (std::size_t start = 0;;) {
        const std::size_t end = input.find('\0', start);
        result.push_back(input.substr(start, end - start));
        if (end == std::string_view::npos) {
            return result;
        }
        start = end + 1;
    }
}

// Stops the run, and so the fuzzer, when a property of the code does not hold.
inline void require(bool holds, const char* property) {
    if (!holds) {
        std::fprintf(stderr, "property broken: %s\n", property);
        std::abort();
    }
}

} // namespace bridge::fuzz
