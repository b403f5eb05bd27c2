#include "StageLinQ/StageLinQDecks.hpp"

#include "Support/Numbers.hpp"
#include "Support/SourceText.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

namespace bridge {

namespace {

const StageLinQ::StateValue*
state(const std::map<std::string, StageLinQ::StateValue, std::less<>>& states,
      const std::string& path) {
    const auto found = states.find(path);
    return found == states.end() ? nullptr : &found->second;
}

std::optional<double>
number(const std::map<std::string, StageLinQ::StateValue, std::less<>>& states,
       const std::string& path) {
    const auto* value = state(states, path);
    return value ? value->number : std::nullopt;
}

std::optional<std::string>
name(const std::map<std::string, StageLinQ::StateValue, std::less<>>& states,
     const std::string& path) {
    const auto* value = state(states, path);
    return value ? presentText(value->text) : std::nullopt;
}

bool flag(const std::map<std::string, StageLinQ::StateValue, std::less<>>& states,
          const std::string& path) {
    const auto* value = state(states, path);
    return value != nullptr && value->flag == true;
}

// A whole number written as text, as players send their player number.
std::optional<double> wholeNumber(const std::optional<std::string>& text) {
    const auto number = text ? parseNumber<long>(*text) : std::nullopt;
    return number ? std::optional(static_cast<double>(*number)) : std::nullopt;
}

} // namespace

void StageLinQDecks::add(const StageLinQ::Bytes& token, const std::string& software) {
    devices.try_emplace(token, Entry{.software = software});
}

void StageLinQDecks::apply(const StageLinQ::Bytes& token, const std::string& software,
                           const std::string& name, const StageLinQ::StateValue& value) {
    if (!StageLinQ::followed().contains(name)) {
        return;
    }
    auto& entry = devices.try_emplace(token, Entry{.software = software}).first->second;
    entry.states[name] = value;
    if (name.ends_with("/ExternalMixerVolume") && value.number && *value.number > 0) {
        entry.mixer = true;
    }
}

void StageLinQDecks::remove(const StageLinQ::Bytes& token) {
    devices.erase(token);
}

std::optional<int> StageLinQDecks::player(const StageLinQ::Bytes& token) const {
    const auto found = devices.find(token);
    if (found == devices.end()) {
        return std::nullopt;
    }
    const auto* value = state(found->second.states, "/Client/Preferences/Player");
    if (value == nullptr) {
        return std::nullopt;
    }
    // Real players send their number as a text.
    const auto number = value->number ? value->number : wholeNumber(value->text);
    if (!number || !(*number >= 1 && *number <= 4)) {
        return std::nullopt;
    }
    return static_cast<int>(*number);
}

double StageLinQDecks::volume(const States& states, bool mixer, int deck) {
    const auto n = std::to_string(deck);
    const auto fader = number(states, "/Mixer/CH" + n + "faderPosition");
    if (!fader) {
        if (!mixer) {
            return 1;
        }
        return number(states, "/Engine/Deck" + n + "/ExternalMixerVolume").value_or(1);
    }
    const double f = *fader;
    if (!(f > 0)) {
        return 0;
    }
    const auto crossfader = number(states, "/Mixer/CrossfaderPosition");
    if (!crossfader) {
        return f;
    }
    const double x = *crossfader;
    if (deck % 2 == 1) {
        if (x > 0.8) {
            return 0;
        }
        return x > 0.5 ? f * (1 - (x - 0.5) / 0.3) : f;
    }
    if (x < 0.2) {
        return 0;
    }
    return x < 0.5 ? f * (x - 0.2) / 0.3 : f;
}

VDJSnapshot StageLinQDecks::snapshot() const {
    struct Ordered {
        std::optional<int> player;
        const StageLinQ::Bytes* token;
        const Entry* entry;
    };
    std::vector<Ordered> order;
    for (const auto& [token, entry] : devices) {
        order.push_back({player(token), &token, &entry});
    }
    std::stable_sort(order.begin(), order.end(), [](const Ordered& a, const Ordered& b) {
        if (a.player.has_value() != b.player.has_value()) {
            return a.player.has_value();
        }
        return a.player != b.player ? *a.player < *b.player : *a.token < *b.token;
    });

    VDJSnapshot snapshot;
    std::optional<std::pair<int, double>> master;
    for (const auto& device : order) {
        const auto& states = device.entry->states;
        int count = 2;
        if (const auto deckCount = number(states, "/Engine/DeckCount");
            deckCount && std::isfinite(*deckCount)) {
            count = static_cast<int>(std::clamp(*deckCount, 1.0, 4.0));
        } else if (const auto row = StageLinQ::models().find(device.entry->software);
                   row != StageLinQ::models().end()) {
            count = row->second.decks;
        }
        for (int i = 1; i <= count; ++i) {
            const auto deck = "/Engine/Deck" + std::to_string(i) + "/";
            DeckSnapshot row{.deck = static_cast<int>(snapshot.decks.size()) + 1};
            const auto title = name(states, deck + "Track/SongName");
            const auto artist = name(states, deck + "Track/ArtistName");
            row.loaded = title || artist || flag(states, deck + "Track/SongLoaded");
            if (row.loaded) {
                const double level = volume(states, device.entry->mixer, i);
                row.audible = flag(states, deck + "Play") && level > 0.1;
                if (row.audible && (!master || level > master->second)) {
                    master = std::pair{row.deck, level};
                }
                const auto bpm = number(states, deck + "Track/BPM");
                row.song = Song{
                    .filePath = OneDeck::file("denon", artist, title),
                    .title = title,
                    .artist = artist,
                    .bpm = bpm && *bpm > 0 ? bpm : std::nullopt,
                };
            }
            snapshot.decks.push_back(std::move(row));
        }
    }
    if (master) {
        snapshot.masterDeck = master->first;
    }
    return snapshot;
}

} // namespace bridge
