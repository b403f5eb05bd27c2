#pragma once

#include "GigPages.hpp"
#include "GigServerStandIn.hpp"
#include "LocalHttpListener.hpp"

#include <boost/url/url_view.hpp>

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace bridge {

// The stand-in's account: pairing codes, keys, gigs and their plays, and the faults a test
// asked for. Its API answers are in GigApi.cpp.
struct GigServerStandIn::Account {
    static constexpr std::string_view codeAlphabet = "ABCDEFGHIJKMNPQRSTUVWXYZ23456789";
    static constexpr std::string_view keyAlphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static constexpr std::size_t codeLength = 8;
    static constexpr std::size_t keyLength = 32;
    // Wrong codes in a row before pairing answers 429 until the DJ makes a new code.
    static constexpr unsigned wrongCodesAllowed = 5;
    static constexpr std::size_t maxPlaysPerRequest = 100;

    struct PairingOffer {
        std::string name;
        std::optional<std::string> gig;
    };
    mutable std::mutex mutex;
    std::mt19937_64 random{std::random_device{}()};
    std::map<std::string, PairingOffer> codes;
    unsigned wrongCodes = 0;
    std::set<std::string> keys;
    std::optional<Gig> live;
    std::set<std::int64_t> ended;
    std::vector<Gig> pastGigs; // oldest first, as they were when they ended
    std::int64_t nextGigId = 1;
    std::int64_t nextPlayId = 1;
    std::map<std::int64_t, std::vector<StoredPlay>> plays;
    bool paused = false;
    std::vector<Request> requests;
    std::optional<BridgeReads> reads;
    std::map<std::string, Fault, std::less<>> faults;

    // Everything below is called with `mutex` held.
    std::string randomText(std::string_view alphabet, std::size_t length);
    std::string newKey();
    void endLive();

    // The live gig with that slug, else the last one that ended.
    std::optional<GigPageView> pageView(std::string_view slug) const;
    HttpReply receive(Request request);
    Fault takeFault(std::string_view path);
    HttpReply handle(const Request& request);
    bool isKnownKey(const std::optional<std::string>& authorization) const;
    HttpReply pair(std::string_view body);
    // The live gig, for a bridge that says what it reads; a source it does not know is
    // refused, as the service does.
    HttpReply currentGig(const boost::urls::url_view& target);

    // The handler's answer for the live gig `gigId`, else why there is none.
    HttpReply withGig(std::optional<std::int64_t> gigId,
                      const std::function<HttpReply(std::int64_t)>& handler) const;
    StoredPlay* findPlay(std::int64_t gigId, std::string_view eventId);
    HttpReply postPlays(std::int64_t gigId, std::string_view body);
    HttpReply setHidden(std::int64_t gigId, std::string_view eventId, std::string_view body);
    HttpReply removePlay(std::int64_t gigId, std::string_view eventId);
};

} // namespace bridge
