// The date-time texts What's Now Playing writes, and anything else in their place.
#include "FuzzInput.hpp"
#include "Readers/WhatsNowPlayingSong.hpp"

#include <cmath>

using namespace bridge;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (const auto time = WhatsNowPlayingSong::time(fuzz::text(data, size))) {
        fuzz::require(std::isfinite(referenceSeconds(*time)), "a time is finite");
    }
    return 0;
}
