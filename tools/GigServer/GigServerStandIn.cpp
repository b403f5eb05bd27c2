#include "GigServerStandIn.hpp"

#include "GigAccount.hpp"
#include "GigPages.hpp"
#include "LocalHttpListener.hpp"
#include "Support/Numbers.hpp"

#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>
#include <boost/json/value.hpp>
#include <boost/url/parse.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <stdexcept>

namespace bridge {

namespace json = boost::json;

std::optional<std::string> GigServerStandIn::Request::header(std::string_view name) const {
    auto sameName = [&](const auto& header) {
        return std::equal(
            header.first.begin(), header.first.end(), name.begin(), name.end(),
            [](unsigned char a, unsigned char b) { return std::tolower(a) == std::tolower(b); });
    };
    auto found = std::find_if(headers.begin(), headers.end(), sameName);
    return found == headers.end() ? std::nullopt : std::optional(found->second);
}

std::string_view GigServerStandIn::Request::path() const {
    return std::string_view(target).substr(0, target.find('?'));
}

GigServerStandIn::Fault GigServerStandIn::Fault::answer(unsigned status, std::string body) {
    return Fault{.kind = Kind::answer, .status = status, .body = std::move(body)};
}

GigServerStandIn::Fault GigServerStandIn::Fault::slow(std::chrono::milliseconds delay) {
    return Fault{.delay = delay};
}

GigServerStandIn::Fault GigServerStandIn::Fault::dropConnection() {
    return Fault{.kind = Kind::dropConnection};
}

GigServerStandIn::Fault GigServerStandIn::Fault::garbage() {
    return Fault{.kind = Kind::garbage};
}

GigServerStandIn::GigServerStandIn(std::uint16_t port) : account_(std::make_unique<Account>()) {
    // The pages are not the bridge's business: no faults and no record of their requests,
    // which a page open on a screen sends every second.
    GigPages pages([account = account_.get()](std::string_view slug) {
        std::scoped_lock lock(account->mutex);
        return account->pageView(slug);
    });
    listener_ = std::make_unique<LocalHttpListener>(
        port, [account = account_.get(), pages = std::move(pages)](Request request) {
            if (GigPages::serves(request.path())) {
                return pages.answer(request);
            }
            std::scoped_lock lock(account->mutex);
            return account->receive(std::move(request));
        });
}

GigServerStandIn::~GigServerStandIn() = default;

std::uint16_t GigServerStandIn::port() const {
    return listener_->port();
}

std::string GigServerStandIn::url() const {
    return "http://127.0.0.1:" + std::to_string(port());
}

std::string GigServerStandIn::makePairingCode(std::string name, std::optional<std::string> gig) {
    std::scoped_lock lock(account_->mutex);
    std::string code;
    do {
        code = account_->randomText(Account::codeAlphabet, Account::codeLength);
    } while (account_->codes.contains(code));
    account_->codes[code] = Account::PairingOffer{std::move(name), std::move(gig)};
    // A fresh code lets the DJ try again after too many wrong ones.
    account_->wrongCodes = 0;
    return code;
}

std::string GigServerStandIn::makeKey() {
    std::scoped_lock lock(account_->mutex);
    return account_->newKey();
}

void GigServerStandIn::revokeKeys() {
    std::scoped_lock lock(account_->mutex);
    account_->keys.clear();
}

Gig GigServerStandIn::startGig(GigSetup setup) {
    std::scoped_lock lock(account_->mutex);
    account_->endLive();
    Gig gig;
    gig.id = account_->nextGigId++;
    gig.slug = setup.slug.value_or("gig-" + std::to_string(gig.id));
    gig.name = std::move(setup.name);
    gig.venue = std::move(setup.venue);
    gig.sharing = setup.sharing;
    gig.url = url() + "/gigs/" + gig.slug;
    gig.screenUrl = std::move(setup.screenUrl);
    account_->live = gig;
    return gig;
}

Gig GigServerStandIn::startGig() {
    return startGig(GigSetup{});
}

std::optional<Gig> GigServerStandIn::liveGig() const {
    std::scoped_lock lock(account_->mutex);
    return account_->live;
}

void GigServerStandIn::endGig() {
    std::scoped_lock lock(account_->mutex);
    account_->endLive();
}

void GigServerStandIn::setSharing(bool sharing) {
    std::scoped_lock lock(account_->mutex);
    if (!account_->live) {
        throw std::logic_error("no live gig to share");
    }
    account_->live->sharing = sharing;
}

void GigServerStandIn::setPaused(bool paused) {
    std::scoped_lock lock(account_->mutex);
    account_->paused = paused;
}

std::vector<GigServerStandIn::StoredPlay> GigServerStandIn::plays(std::int64_t gigId) const {
    std::scoped_lock lock(account_->mutex);
    auto found = account_->plays.find(gigId);
    return found == account_->plays.end() ? std::vector<StoredPlay>{} : found->second;
}

std::optional<GigServerStandIn::BridgeReads> GigServerStandIn::bridgeReads() const {
    const std::lock_guard lock(account_->mutex);
    return account_->reads;
}

std::vector<GigServerStandIn::Request> GigServerStandIn::requests() const {
    std::scoped_lock lock(account_->mutex);
    return account_->requests;
}

void GigServerStandIn::setFault(std::string path, Fault fault) {
    std::scoped_lock lock(account_->mutex);
    account_->faults.insert_or_assign(std::move(path), std::move(fault));
}

void GigServerStandIn::clearFaults() {
    std::scoped_lock lock(account_->mutex);
    account_->faults.clear();
}

} // namespace bridge
