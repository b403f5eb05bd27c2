#pragma once

#include <boost/asio/awaitable.hpp>

#include <cstddef>
#include <string>

namespace bridge {

// The media slots whose contents players share over the network.
enum class MediaSlot { sd, usb };

// Files on the media in Pioneer players, as the Pioneer DJ reader fetches them.
class MediaFiles {
public:
    virtual ~MediaFiles() = default;

    // The whole file at `path` (components separated by '/', such as
    // "PIONEER/rekordbox/export.pdb") on the medium in `slot` of the player at the dotted IPv4
    // `address`. Fails with NfsError, `tooLarge` when the file holds more than `limit` bytes;
    // a cancelled caller gets the cancellation.
    virtual boost::asio::awaitable<std::string> read(std::string address, MediaSlot slot,
                                                     std::string path, std::size_t limit) = 0;
};

} // namespace bridge
