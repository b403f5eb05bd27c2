#pragma once

#include "AnswerWrites.hpp"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace bridge {

class LocalHttpListener;

// A local stand-in for the What's Now Playing tool: GET /v1/last on 127.0.0.1, answered in
// the tool's own shape (every metadata key present, null where unset, numbers as strings,
// lists, a base64 cover). It runs on a thread of its own from construction to destruction;
// every member function is safe to call from any thread.
class WhatsNowPlayingStandIn {
public:
    struct Track {
        std::string title;
        std::optional<std::string> artist;
        std::optional<std::string> filename;
        std::optional<double> bpm;
        std::optional<std::string> key;
        std::optional<double> duration; // seconds
        std::string agent = "Serato";   // the program the tool follows
        std::chrono::system_clock::time_point received = std::chrono::system_clock::now();
    };

    // A scripted misbehaviour for every request.
    struct Fault {
        std::optional<unsigned> status;     // answered instead of 200
        std::optional<std::string> body;    // answered instead of the track
        std::chrono::milliseconds delay{0}; // before answering
    };

    // Listens on 127.0.0.1 at `port` (0: a free one) with nothing played yet. Throws when it
    // cannot listen.
    explicit WhatsNowPlayingStandIn(std::uint16_t port = 0,
                                    AnswerWrites writes = AnswerWrites::whole);
    ~WhatsNowPlayingStandIn();
    WhatsNowPlayingStandIn(const WhatsNowPlayingStandIn&) = delete;
    WhatsNowPlayingStandIn& operator=(const WhatsNowPlayingStandIn&) = delete;

    std::uint16_t port() const;

    void play(Track track);
    std::optional<Track> playing() const; // the track played last
    void setFault(std::optional<Fault> fault);
    std::size_t requestCount() const;

    // The body of /v1/last for a track, or "{}" before anything was played.
    static std::string answerFor(const std::optional<Track>& track);

private:
    struct State; // the track, fault and request count, behind a mutex

    std::unique_ptr<State> state_;
    std::unique_ptr<LocalHttpListener> listener_; // last: stops before the state goes
};

} // namespace bridge
