#pragma once

#include "Values/Gig.hpp"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace bridge {

class LocalHttpListener;

// A local stand-in for the Setmara gig server: the bridge API under "/api/bridge/" for one
// DJ, over plain HTTP on 127.0.0.1, and the pages that dancers and the venue screen show of
// each gig at its `url` and `screen()` (GigPages). It runs on a thread of its own from construction
// to destruction, so tests can drive it from any thread beside their own io_context. Every member
// function is safe to call from any thread.
class GigServerStandIn {
public:
    // One request as it arrived.
    struct Request {
        std::string method;
        std::string target;                                       // path and query as sent
        std::vector<std::pair<std::string, std::string>> headers; // in the order sent
        std::string body;

        // The value of the first header of that name (letter case ignored).
        std::optional<std::string> header(std::string_view name) const;
        // The target without its query.
        std::string_view path() const;
    };

    // What the DJ sets up on the web site when starting a gig.
    struct GigSetup {
        std::string name = "Stand-in gig";
        std::optional<std::string> venue;
        bool sharing = true;
        std::optional<std::string> slug;      // "gig-" and the id when absent
        std::optional<std::string> screenUrl; // sent as "screenUrl" when present
    };

    // A play the server took for a gig.
    struct StoredPlay {
        std::int64_t id = 0; // the server's id of the play
        std::string eventId;
        bool hidden = false;
        std::string object; // the play object as received, as compact JSON
        std::string title;
        std::string artist;
        std::int64_t playedAt = 0; // milliseconds since 1970
    };

    // A scripted misbehaviour for requests to one path.
    struct Fault {
        enum class Kind {
            normal,         // the usual answer, after `delay`
            answer,         // `status` and `body` instead of the usual answer
            dropConnection, // the connection closes without an answer
            garbage,        // bytes that are not HTTP, then the connection closes
        };
        Kind kind = Kind::normal;
        unsigned status = 500;
        std::string body; // sent as "application/json" when it is JSON, else as "text/html"
        std::chrono::milliseconds delay{0}; // before answering or failing
        // The request takes effect as usual even though its answer is replaced or lost.
        bool takeEffect = false;
        // How many requests it strikes before it is gone; absent: until cleared.
        std::optional<unsigned> times;

        static Fault answer(unsigned status, std::string body = {});
        static Fault slow(std::chrono::milliseconds delay);
        static Fault dropConnection();
        static Fault garbage();
    };

    // Listens on 127.0.0.1 at `port`; 0 takes a free one. Throws when it cannot listen.
    explicit GigServerStandIn(std::uint16_t port = 0);
    ~GigServerStandIn();
    GigServerStandIn(const GigServerStandIn&) = delete;
    GigServerStandIn& operator=(const GigServerStandIn&) = delete;

    std::uint16_t port() const;
    std::string url() const; // "http://127.0.0.1:" and the port

    // Pairing: a one-time code of 8 characters, as the DJ makes it on the web site. Pairing
    // with it yields a new key and the pairing's `name`, and `gig` when the code is for one.
    std::string makePairingCode(std::string name = "Stand-in bridge",
                                std::optional<std::string> gig = std::nullopt);
    // A working key without going through pairing.
    std::string makeKey();
    // Every key stops working, as when the DJ unpairs the bridge on the web site.
    void revokeKeys();

    // The DJ's live gig. Starting one ends the one that was live.
    Gig startGig(GigSetup setup);
    Gig startGig();
    std::optional<Gig> liveGig() const;
    void endGig(); // the DJ ends the live gig on the web site; nothing when none is live
    void setSharing(bool sharing); // throws std::logic_error when no gig is live
    // A paused bridge: the server answers plays with "paused" true and takes none.
    void setPaused(bool paused);

    // What the bridge said it reads when it last asked for the gig: the source's raw text
    // (absent for VirtualDJ, which the bridge leaves out), the program behind it, and how
    // the source answers (the query item the API names "virtualdj").
    struct BridgeReads {
        std::optional<std::string> source;
        std::optional<std::string> program;
        std::optional<std::string> connection;

        bool operator==(const BridgeReads&) const = default;
    };
    std::optional<BridgeReads> bridgeReads() const;

    // The plays of a gig in the order they were taken, ended gigs included.
    std::vector<StoredPlay> plays(std::int64_t gigId) const;
    // Every request received, oldest first.
    std::vector<Request> requests() const;

    // `path` is matched exactly against a request's path as sent, without its query.
    void setFault(std::string path, Fault fault);
    void clearFaults();

private:
    struct Account; // keys, codes, gigs, plays, faults and the request log, behind a mutex

    std::unique_ptr<Account> account_;
    std::unique_ptr<LocalHttpListener> listener_; // last: stops before the account goes
};

} // namespace bridge
