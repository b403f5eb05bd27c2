// A UDP discovery frame from anyone on the local network.
#include "FuzzInput.hpp"
#include "StageLinQ/StageLinQ.hpp"

using namespace bridge;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto device = StageLinQ::device(data, size, "169.254.10.20");
    if (!device) {
        return 0;
    }
    fuzz::require(device->token.size() == 16, "a device has a whole token");
    fuzz::require(device->decks() >= 0, "a device has no negative number of decks");
    fuzz::require(!device->connect() || device->port != 0, "a device followed has a port");
    return 0;
}
