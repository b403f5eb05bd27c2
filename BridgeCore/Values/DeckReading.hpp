#pragma once

#include "Values/VDJSnapshot.hpp"

#include <boost/asio/awaitable.hpp>

namespace bridge {

// A source of what is playing. `read` is called about once a second, never twice at once;
// it may keep state between calls. It fails with SourceError::notAllowed when the source
// refuses the bridge, and with SourceError::notAnswering (or any other error) when the
// source is not there.
class DeckReading {
public:
    virtual ~DeckReading() = default;
    virtual boost::asio::awaitable<VDJSnapshot> read() = 0;
};

} // namespace bridge
