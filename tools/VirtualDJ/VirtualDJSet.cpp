#include "VirtualDJSet.hpp"

#include <algorithm>
#include <stdexcept>

namespace bridge {

namespace {

VirtualDJStandIn::Track trackOf(const SetSong& song) {
    return VirtualDJStandIn::Track{.filePath = song.file(),
                                   .title = song.title,
                                   .artist = song.artist,
                                   .bpm = song.bpm,
                                   .key = song.key,
                                   .lengthSeconds = song.lengthSeconds};
}

bool holds(const VirtualDJStandIn& vdj, int deck, const SetSong& song) {
    const auto track = vdj.track(deck);
    return track && track->filePath == song.file();
}

} // namespace

int showOnDecks(VirtualDJStandIn& vdj, std::uint64_t step, const SetSong& song,
                const SetSong& next) {
    const int decks = std::min(vdj.deckCount(), 2);
    if (decks < 1) {
        throw std::out_of_range("a set needs a deck");
    }
    const int onAir = static_cast<int>(step % static_cast<std::uint64_t>(decks)) + 1;
    // Normally the song waits on its deck since the step before; not at the start of the
    // set, after missed steps, or on a single deck.
    if (!holds(vdj, onAir, song)) {
        vdj.load(onAir, trackOf(song));
    }
    vdj.setAudible(onAir, true);
    vdj.setMasterDeck(onAir);
    if (decks == 2) {
        const int other = 3 - onAir;
        vdj.setAudible(other, false);
        vdj.load(other, trackOf(next));
    }
    return onAir;
}

} // namespace bridge
