// A UDP datagram that reaches the NFS client's socket as the reply to one of its calls.
#include "FuzzInput.hpp"
#include "ProDJLink/NfsError.hpp"
#include "ProDJLink/OncRpc.hpp"

using namespace bridge;

namespace {

template <class Decode>
void survive(Decode decode) {
    try {
        decode();
    } catch (const NfsError&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> reply{data, size};
    const auto xid = OncRpc::xidOf(reply);
    if (!xid) {
        return 0;
    }
    survive([&] { fuzz::require(OncRpc::getPortReply(reply, *xid) != 0, "a port is never 0"); });
    survive([&] { OncRpc::mountReply(reply, *xid); });
    survive([&] { OncRpc::lookupReply(reply, *xid); });
    for (const std::uint32_t count : {std::uint32_t{0}, std::uint32_t{100}, OncRpc::readMax}) {
        survive([&] {
            const auto chunk = OncRpc::readReply(reply, *xid, count);
            fuzz::require(chunk.data.size() <= count, "a READ gives no more than asked for");
        });
    }
    try {
        OncRpc::mountReply(reply, *xid + 1);
        fuzz::require(false, "a reply to another call is never taken");
    } catch (const NfsError&) {
    }
    return 0;
}
