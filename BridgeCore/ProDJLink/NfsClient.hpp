#pragma once

#include "ProDJLink/MediaFiles.hpp"

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace bridge {

// Reads files from players over NFS version 2 on UDP: the portmapper for the ports, MOUNT
// for the slot's export, a LOOKUP per path component, then READs of 8192 bytes. Runs on the
// caller's executor, one UDP socket per read, and sends to no address but the one given.
class NfsClient : public MediaFiles {
public:
    struct Options {
        std::uint16_t portmapperPort = 111;
        // How long one try of a call waits for its answer, and how many tries a call gets;
        // a try resends the call with the same transaction id.
        std::chrono::milliseconds wait{250};
        int tries = 4;
        // The most one whole read may take.
        std::chrono::milliseconds timeLimit{30'000};
    };

    NfsClient();
    explicit NfsClient(Options options);

    boost::asio::awaitable<MediaFile> read(std::string address, MediaSlot slot, std::string path,
                                           std::size_t limit) override;
    boost::asio::awaitable<MediaStamp> stamp(std::string address, MediaSlot slot,
                                             std::string path) override;

private:
    // The file's stamp, and with a `limit` its bytes too.
    boost::asio::awaitable<MediaFile> fetch(std::string address, MediaSlot slot, std::string path,
                                            std::optional<std::size_t> limit);

    struct Ports {
        std::uint16_t mount = 0;
        std::uint16_t nfs = 0;
    };

    Options options;
    // The ports each player's services answered on, forgotten when a read from it fails.
    std::map<std::string, Ports, std::less<>> ports;
    std::uint32_t nextXid;
};

} // namespace bridge
