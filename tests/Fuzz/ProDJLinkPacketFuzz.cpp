// A UDP datagram from anyone on the local network, to one of the Pro DJ Link ports: the first
// input byte picks the port, the rest is the datagram.
#include "FuzzInput.hpp"
#include "ProDJLink/ProDJLink.hpp"

using namespace bridge;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::uint16_t port = ProDJLink::announcePort + data[0] % 3;
    const auto packet = ProDJLink::parse(port, data + 1, size - 1);
    if (!packet) {
        return 0;
    }
    fuzz::require(ProDJLink::portOf(*packet) == port, "a packet is read on its own port");
    fuzz::require(ProDJLink::parse(port, ProDJLink::build(*packet)) == packet,
                  "a packet read and built again reads the same");
    return 0;
}
