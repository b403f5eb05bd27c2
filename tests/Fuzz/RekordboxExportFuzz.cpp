// A rekordbox export fetched from a player's medium.
#include "FuzzInput.hpp"
#include "ProDJLink/RekordboxExport.hpp"
#include "Support/Text.hpp"

using namespace bridge;

namespace {

bool wellFormed(std::string_view text) {
    while (!text.empty()) {
        const auto length = utf8SequenceLength(text);
        if (length == 0) {
            return false;
        }
        text.remove_prefix(length);
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        const ProDJLink::RekordboxExport pdb{fuzz::text(data, size)};
        for (const auto& [id, track] : pdb.tracks()) {
            fuzz::require(track.id == id, "a track is found by its own id");
            fuzz::require(wellFormed(track.title), "a title is UTF-8");
            fuzz::require(!track.artist || (!track.artist->empty() && wellFormed(*track.artist)),
                          "an artist is UTF-8 and not blank");
        }
    } catch (const ProDJLink::RekordboxExportError&) {
    }
    return 0;
}
