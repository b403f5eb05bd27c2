#pragma once

#include <boost/asio/awaitable.hpp>

#include <cstddef>
#include <string>

namespace bridge {

// The media slots whose contents players share over the network.
enum class MediaSlot { sd, usb };

// What tells one version of a file from another: another medium in the slot, or the file
// written again, shows another stamp.
struct MediaStamp {
    std::uint32_t size = 0;
    std::uint32_t fileId = 0;
    std::uint32_t modifiedSeconds = 0;
    std::uint32_t modifiedMicroseconds = 0;

    bool operator==(const MediaStamp&) const = default;
};

struct MediaFile {
    std::string bytes;
    MediaStamp stamp;
};

// Files on the media in Pioneer players, as the Pioneer DJ reader fetches them. A file is
// named by `path` (components separated by '/', such as "PIONEER/rekordbox/export.pdb") on
// the medium in `slot` of the player at the dotted IPv4 `address`. Both operations fail with
// NfsError; a cancelled caller gets the cancellation.
class MediaFiles {
public:
    virtual ~MediaFiles() = default;

    // The whole file; `tooLarge` when it holds more than `limit` bytes.
    virtual boost::asio::awaitable<MediaFile> read(std::string address, MediaSlot slot,
                                                   std::string path, std::size_t limit) = 0;
    // Only the file's stamp, without reading it.
    virtual boost::asio::awaitable<MediaStamp> stamp(std::string address, MediaSlot slot,
                                                     std::string path) = 0;
};

} // namespace bridge
