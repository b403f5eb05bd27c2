// The gig server's answers: a status picked by the first byte and the rest as the body,
// given to every operation of the client and to pairing. Each ends with its result, a
// ServerError, or (for a gig) the failure to decode it; nothing else.
#include "FuzzInput.hpp"
#include "Server/Pairing.hpp"
#include "Server/ServerClient.hpp"
#include "Server/ServerError.hpp"
#include "Server/ServerJson.hpp"
#include "Support/Await.hpp"
#include "Support/FakeTransport.hpp"

#include <array>

using namespace bridge;

namespace {

constexpr std::array statuses = {200, 201, 204, 400, 401, 403, 404, 413, 429, 500, 503, 302};

template <class T>
void run(boost::asio::awaitable<T> operation, bool mayFailToDecode = false) {
    try {
        testing::await(std::move(operation));
    } catch (const ServerError&) {
    } catch (const std::exception&) {
        fuzz::require(mayFailToDecode, "only a gig may fail with its decoding failure");
    }
}

boost::asio::awaitable<void> gigAndItsScreen(ServerClient& client) {
    if (const auto gig = co_await client.currentGig(SourceState::connected, "Serato")) {
        fuzz::require(!gig->screen().empty(), "a gig has a screen link");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    auto transport = std::make_shared<testing::FakeTransport>();
    transport->answerWith(statuses[data[0] % statuses.size()],
                          std::string(fuzz::text(data + 1, size - 1)));
    ServerClient client("https://setmara.test/base", "K3Y", Source::whatsNowPlaying, transport);
    const PlayEvent play{.id = "E/1",
                         .playedAt = instantFromReferenceSeconds(800'000'000.5),
                         .title = "Title",
                         .artist = "Artist",
                         .bpm = 124.0};
    run(gigAndItsScreen(client), true);
    run(client.send({play}, {"E/1"}, 7));
    run(client.setHidden("E/1", 7, true));
    run(client.remove("E/1", 7));
    run(client.endGig(7));
    run(Pairing::pair("ABCD2345", "https://setmara.test", *transport));
    serverMessage(fuzz::text(data + 1, size - 1));
    return 0;
}
