// What a Denon device sends on its connections: messages with a length before each, read
// as service announcements and as state-map values, the values going into the deck state.
#include "FuzzInput.hpp"
#include "StageLinQ/StageLinQ.hpp"
#include "StageLinQ/StageLinQDecks.hpp"

using namespace bridge;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const StageLinQ::Bytes token(16, 0x11);
    const StageLinQ::Bytes other(16, 0x22);
    StageLinQDecks decks;
    decks.add(token, "JP13");
    decks.add(other, "JC11");
    StageLinQ::Reader stream(data, size);
    while (const auto length = stream.uint(4)) {
        if (*length > StageLinQ::messageMax) {
            break; // the session ends here
        }
        const auto body = stream.bytes(static_cast<std::size_t>(*length));
        if (!body) {
            break;
        }
        StageLinQ::service(*body);
        if (auto value = StageLinQ::value(*body)) {
            const bool first = body->size() % 2 == 0;
            decks.apply(first ? token : other, first ? "JP13" : "JC11", value->first,
                        value->second);
        }
        const auto snapshot = decks.snapshot();
        fuzz::require(snapshot.decks.size() <= 8, "two devices make at most eight decks");
    }
    decks.remove(other);
    decks.snapshot();
    return 0;
}
