// djay's NowPlaying.txt as it lies on disk, in any encoding, and the song read from it.
#include "DjayOnce.hpp"
#include "FuzzInput.hpp"
#include "Readers/NowPlayingOnDisk.hpp"

using namespace bridge;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto text = NowPlayingOnDisk::decode(fuzz::text(data, size));
    if (!text) {
        return 0;
    }
    const auto modified = instantFromReferenceSeconds(800'000'000.0);
    const auto snapshot =
        fuzz::readDjay(std::nullopt, NowPlayingText{*text, modified}, modified + Seconds{5.0});
    fuzz::require(snapshot.decks.size() == 1, "djay is one deck");
    const auto& song = snapshot.decks.front().song;
    fuzz::require(!song || (song->title && !song->title->empty()), "a song has a title");
    return 0;
}
