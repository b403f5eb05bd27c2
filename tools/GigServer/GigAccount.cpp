#include "GigAccount.hpp"

#include <algorithm>

namespace bridge {

std::string GigServerStandIn::Account::randomText(std::string_view alphabet, std::size_t length) {
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
        text += alphabet[pick(random)];
    }
    return text;
}

std::string GigServerStandIn::Account::newKey() {
    auto key = randomText(keyAlphabet, keyLength);
    keys.insert(key);
    return key;
}

void GigServerStandIn::Account::endLive() {
    if (live) {
        ended.insert(live->id);
        pastGigs.push_back(*live);
        live.reset();
    }
}

std::optional<GigPageView> GigServerStandIn::Account::pageView(std::string_view slug) const {
    const auto past = std::find_if(pastGigs.rbegin(), pastGigs.rend(),
                                   [&](const Gig& gig) { return gig.slug == slug; });
    const bool isLive = live && live->slug == slug;
    if (!isLive && past == pastGigs.rend()) {
        return std::nullopt;
    }
    const Gig& gig = isLive ? *live : *past;
    GigPageView view{.name = gig.name,
                     .venue = gig.venue,
                     .url = gig.url,
                     .sharing = gig.sharing,
                     .ended = !isLive};
    const auto stored = plays.find(gig.id);
    if (!gig.sharing || stored == plays.end()) {
        return view;
    }
    for (auto play = stored->second.rbegin(); play != stored->second.rend(); ++play) {
        if (!play->hidden) {
            view.songs.push_back({play->title, play->artist, play->playedAt});
        }
    }
    return view;
}

GigServerStandIn::Fault GigServerStandIn::Account::takeFault(std::string_view path) {
    auto found = faults.find(path);
    if (found == faults.end()) {
        return {};
    }
    auto fault = found->second;
    if (auto& left = found->second.times) {
        if (*left <= 1) {
            faults.erase(found);
        } else {
            --*left;
        }
    }
    return fault;
}

bool GigServerStandIn::Account::isKnownKey(const std::optional<std::string>& authorization) const {
    constexpr std::string_view scheme = "Bearer ";
    return authorization && authorization->starts_with(scheme) &&
           keys.contains(authorization->substr(scheme.size()));
}

} // namespace bridge
