#include "VirtualDJStandIn.hpp"

#include "LocalHttpListener.hpp"

#include <boost/url/parse.hpp>

#include <charconv>
#include <mutex>
#include <sstream>
#include <stdexcept>

namespace bridge {

namespace {

struct Deck {
    std::optional<VirtualDJStandIn::Track> track;
    bool audible = false;
};

// Numbers as VirtualDJ writes them: no trailing zeros beyond what the value needs.
std::string numberText(const std::optional<double>& value) {
    if (!value) {
        return "";
    }
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, *value).ptr;
    return std::string(text, end);
}

std::optional<std::string> scriptOf(std::string_view target) {
    const auto parsed = boost::urls::parse_origin_form(target);
    if (!parsed) {
        return std::nullopt;
    }
    const auto found = parsed->params().find("script");
    if (found == parsed->params().end() || !(*found).has_value) {
        return std::nullopt;
    }
    return std::string((*found).value);
}

} // namespace

struct VirtualDJStandIn::Decks {
    mutable std::mutex mutex;
    std::vector<Deck> decks;
    int master = 1;
    std::string password;
    std::optional<Fault> fault;
    std::vector<Received> received;

    Deck& deck(int number) {
        if (number < 1 || number > static_cast<int>(decks.size())) {
            throw std::out_of_range("no such deck");
        }
        return decks[static_cast<std::size_t>(number - 1)];
    }

    std::string evaluate(const std::string& script) const {
        if (script == "get_activedeck") {
            return std::to_string(master);
        }
        std::istringstream words(script);
        std::string word;
        int number = 0;
        std::string verb;
        if (!(words >> word >> number) || word != "deck" || !std::getline(words >> std::ws, verb)) {
            return "error: cannot evaluate " + script;
        }
        if (number < 1 || number > static_cast<int>(decks.size())) {
            return "error: no deck " + std::to_string(number);
        }
        const Deck& deck = decks[static_cast<std::size_t>(number - 1)];
        const auto& track = deck.track;
        const auto text = [&](std::string Track::*field) { return track ? (*track).*field : ""; };
        if (verb == "loaded") {
            return track ? "yes" : "no";
        }
        if (verb == "is_audible") {
            return track && deck.audible ? "yes" : "no";
        }
        if (verb == "get_filepath") {
            return track ? track->filePath.value_or("") : "";
        }
        if (verb == "get_title") {
            return text(&Track::title);
        }
        if (verb == "get_artist") {
            return text(&Track::artist);
        }
        if (verb == "get_key") {
            return text(&Track::key);
        }
        if (verb == "get_loaded_song 'remix'") {
            return text(&Track::remix);
        }
        if (verb == "get_loaded_song 'bpm'") {
            return track ? numberText(track->bpm) : "";
        }
        if (verb == "get_songlength") {
            return track ? numberText(track->lengthSeconds) : "";
        }
        return "error: unknown verb " + verb;
    }

    // HTTP drops the blanks at the end of a header's value, so without a password the
    // bridge's "Bearer " arrives as "Bearer".
    std::string expectedAuthorization() const {
        std::string expected = "Bearer " + password;
        expected.erase(expected.find_last_not_of(" \t") + 1);
        return expected;
    }

    HttpReply answer(const GigServerStandIn::Request& request) {
        const std::lock_guard lock(mutex);
        auto script = scriptOf(request.target);
        const auto authorization = request.header("Authorization");
        received.push_back(
            Received{.target = request.target, .script = script, .authorization = authorization});
        HttpReply reply{.contentType = "text/plain; charset=utf-8"};
        if (fault) {
            reply.delay = fault->delay;
            if (fault->status) {
                reply.status = *fault->status;
                return reply;
            }
        }
        if (request.method != "GET" || request.path() != "/query") {
            reply.status = 404;
        } else if (authorization != expectedAuthorization()) {
            reply.status = 401;
        } else {
            reply.body = script ? evaluate(*script) : "error: no script";
        }
        return reply;
    }
};

VirtualDJStandIn::VirtualDJStandIn(std::string password, int deckCount, std::uint16_t port,
                                   AnswerWrites writes)
    : decks_(std::make_unique<Decks>()) {
    decks_->decks.resize(static_cast<std::size_t>(std::max(deckCount, 0)));
    decks_->password = std::move(password);
    listener_ = std::make_unique<LocalHttpListener>(
        port,
        [decks = decks_.get()](GigServerStandIn::Request request) {
            return decks->answer(request);
        },
        writes);
}

VirtualDJStandIn::~VirtualDJStandIn() = default;

std::uint16_t VirtualDJStandIn::port() const {
    return listener_->port();
}

int VirtualDJStandIn::deckCount() const {
    const std::lock_guard lock(decks_->mutex);
    return static_cast<int>(decks_->decks.size());
}

void VirtualDJStandIn::load(int deck, Track track) {
    const std::lock_guard lock(decks_->mutex);
    decks_->deck(deck) = Deck{.track = std::move(track)};
}

void VirtualDJStandIn::eject(int deck) {
    const std::lock_guard lock(decks_->mutex);
    decks_->deck(deck) = Deck{};
}

void VirtualDJStandIn::setAudible(int deck, bool audible) {
    const std::lock_guard lock(decks_->mutex);
    decks_->deck(deck).audible = audible;
}

void VirtualDJStandIn::setMasterDeck(int deck) {
    const std::lock_guard lock(decks_->mutex);
    decks_->deck(deck);
    decks_->master = deck;
}

void VirtualDJStandIn::setPassword(std::string password) {
    const std::lock_guard lock(decks_->mutex);
    decks_->password = std::move(password);
}

void VirtualDJStandIn::setFault(std::optional<Fault> fault) {
    const std::lock_guard lock(decks_->mutex);
    decks_->fault = fault;
}

std::optional<VirtualDJStandIn::Track> VirtualDJStandIn::track(int deck) const {
    const std::lock_guard lock(decks_->mutex);
    return decks_->deck(deck).track;
}

std::vector<VirtualDJStandIn::Received> VirtualDJStandIn::received() const {
    const std::lock_guard lock(decks_->mutex);
    return decks_->received;
}

std::vector<std::string> VirtualDJStandIn::scripts() const {
    const std::lock_guard lock(decks_->mutex);
    std::vector<std::string> scripts;
    for (const auto& request : decks_->received) {
        if (request.script) {
            scripts.push_back(*request.script);
        }
    }
    return scripts;
}

void VirtualDJStandIn::forgetReceived() {
    const std::lock_guard lock(decks_->mutex);
    decks_->received.clear();
}

std::string VirtualDJStandIn::evaluate(const std::string& script) const {
    const std::lock_guard lock(decks_->mutex);
    return decks_->evaluate(script);
}

} // namespace bridge
