#pragma once

#include "Readers/NowPlayingFile.hpp"

#include <filesystem>

namespace bridge {

// The now-playing text file on disk, in UTF-8 or, with a byte-order mark, UTF-16.
class NowPlayingOnDisk : public NowPlayingFile {
public:
    explicit NowPlayingOnDisk(std::filesystem::path path) : path(std::move(path)) {}

    // Text that is not valid in its encoding fails with EILSEQ; anything but a regular file
    // of reasonable size fails too, so that a read always ends.
    std::optional<NowPlayingText> read() override;

    // The UTF-8 form of a file's bytes, chosen by its byte-order mark; absent when invalid.
    static std::optional<std::string> decode(std::string_view bytes);

private:
    std::filesystem::path path;
};

} // namespace bridge
