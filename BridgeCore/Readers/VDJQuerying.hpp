#pragma once

#include <boost/asio/awaitable.hpp>

#include <string>

namespace bridge {

// Evaluates one VDJScript query in VirtualDJ and gives its answer as text, untrimmed. Fails
// with SourceError when VirtualDJ cannot be asked.
class VDJQuerying {
public:
    virtual ~VDJQuerying() = default;
    virtual boost::asio::awaitable<std::string> query(std::string script) = 0;
};

} // namespace bridge
