#pragma once

#include <boost/asio/awaitable.hpp>

#include <string>

namespace bridge {

// What's Now Playing's latest track: the raw body of its answer, or a failure of any kind
// when the tool cannot be asked.
class WhatsNowPlayingFeed {
public:
    virtual ~WhatsNowPlayingFeed() = default;
    virtual boost::asio::awaitable<std::string> last() = 0;
};

} // namespace bridge
