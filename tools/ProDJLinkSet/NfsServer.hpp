#pragma once

#include "ProDJLink/MediaFiles.hpp"

#include <boost/asio/io_context.hpp>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace bridge {

// A simulated Pioneer player's NFS service on a loopback address: a portmapper answering
// GETPORT for MOUNT version 1 and NFS version 2, a MOUNT service exporting each slot's medium
// under the players' paths, and an NFS service answering LOOKUP and READ from files held in
// memory. Names and mount paths are read as UTF-16 little-endian, as the players read them.
// Runs on the caller's io_context; not thread-safe.
class NfsServer {
public:
    struct Options {
        std::string address = "127.0.0.1";
        std::uint16_t portmapperPort = 0; // 0: any free port
    };

    // Requests received, retransmissions included.
    struct Requests {
        int getPort = 0;
        int mount = 0;
        int lookup = 0;
        int read = 0;
        int other = 0; // other procedures, programs and undecodable datagrams

        int total() const { return getPort + mount + lookup + read + other; }
    };

    explicit NfsServer(boost::asio::io_context& context);
    NfsServer(boost::asio::io_context& context, Options options);
    // Closes the services; what is under way winds down on the io_context.
    ~NfsServer();
    NfsServer(const NfsServer&) = delete;
    NfsServer& operator=(const NfsServer&) = delete;

    std::uint16_t portmapperPort() const;

    // Puts a file on the medium in `slot` (inserting the medium), replacing one at that
    // path. `path` is UTF-8 with components separated by '/'.
    void put(MediaSlot slot, const std::string& path, std::string bytes);
    // Takes the medium out: its files are gone and every handle given out for it is stale.
    void remove(MediaSlot slot);

    // Lost packets: the `n`-th reply from now on is not sent (1: the next one), or no reply
    // is sent for `duration` (duration::max(): none any more).
    void dropReply(int n);
    void dropReplies(std::chrono::milliseconds duration);
    // Sends each reply `delay` after its request.
    void delayReplies(std::chrono::milliseconds delay);
    // Sends before each reply a failing one with another transaction id.
    void sendStrayReplies(bool on);

    Requests requests() const;

private:
    struct State;

    std::shared_ptr<State> state;
};

} // namespace bridge
