#pragma once

#include "Support/Instant.hpp"

#include <optional>
#include <string>

namespace bridge {

// djay's now-playing text file.
struct NowPlayingText {
    std::string text; // UTF-8
    Instant modified;

    bool operator==(const NowPlayingText&) const = default;
};

// Where the now-playing text comes from.
class NowPlayingFile {
public:
    virtual ~NowPlayingFile() = default;
    // The text and when it was written; absent when there is no file. Throws
    // std::system_error with the platform's error (EACCES or EPERM when access is refused).
    virtual std::optional<NowPlayingText> read() = 0;
};

} // namespace bridge
