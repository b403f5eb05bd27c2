// One item of djay's history database, in djay's own binary record, and the song the
// reader makes of it.
#include "DjayOnce.hpp"
#include "FuzzInput.hpp"

using namespace bridge;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto item = DjayHistoryItem::decode(fuzz::text(data, size));
    if (!item) {
        return 0;
    }
    fuzz::require(!item->title.empty(), "an item has a title");
    const auto snapshot = fuzz::readDjay(item, std::nullopt, item->started + Seconds{30.0});
    fuzz::require(snapshot.decks.size() == 1, "djay is one deck");
    return 0;
}
