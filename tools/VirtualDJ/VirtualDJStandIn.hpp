#pragma once

#include "AnswerWrites.hpp"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace bridge {

class LocalHttpListener;

// A local stand-in for VirtualDJ's Network Control extension: GET /query?script=... on
// 127.0.0.1, answered from scripted decks as text, with the password as a bearer token.
// It runs on a thread of its own from construction to destruction; every member function
// is safe to call from any thread.
class VirtualDJStandIn {
public:
    // What a deck holds.
    struct Track {
        std::optional<std::string> filePath; // absent: a stream or another item without a file
        std::string title;
        std::string artist;
        std::string remix;
        std::optional<double> bpm;
        std::string key;
        std::optional<double> lengthSeconds;
    };

    // One request as it arrived.
    struct Received {
        std::string target;                       // path and query as sent
        std::optional<std::string> script;        // the decoded "script" value
        std::optional<std::string> authorization; // the header's value
    };

    // A scripted misbehaviour for every request.
    struct Fault {
        std::optional<unsigned> status;     // answered instead, with an empty body
        std::chrono::milliseconds delay{0}; // before answering
    };

    // Listens on 127.0.0.1 at `port` (0: a free one) with `deckCount` empty decks. Throws when
    // it cannot listen.
    explicit VirtualDJStandIn(std::string password = {}, int deckCount = 2, std::uint16_t port = 0,
                              AnswerWrites writes = AnswerWrites::whole);
    ~VirtualDJStandIn();
    VirtualDJStandIn(const VirtualDJStandIn&) = delete;
    VirtualDJStandIn& operator=(const VirtualDJStandIn&) = delete;

    std::uint16_t port() const;
    int deckCount() const;

    // The deck functions throw std::out_of_range for a deck the stand-in does not have.
    void load(int deck, Track track); // the deck is then loaded and silent
    void eject(int deck);
    void setAudible(int deck, bool audible);
    void setMasterDeck(int deck);
    void setPassword(std::string password);
    void setFault(std::optional<Fault> fault);
    // What deck `deck` holds; absent when it is empty.
    std::optional<Track> track(int deck) const;

    // Every request received, oldest first, and the scripts among them.
    std::vector<Received> received() const;
    std::vector<std::string> scripts() const;
    void forgetReceived();

    // The answer to one script as Network Control gives it: a value, or "error: ..." for a
    // script it cannot evaluate.
    std::string evaluate(const std::string& script) const;

private:
    struct Decks; // the decks, password, fault and the request log, behind a mutex

    std::unique_ptr<Decks> decks_;
    std::unique_ptr<LocalHttpListener> listener_; // last: stops before the decks go
};

} // namespace bridge
