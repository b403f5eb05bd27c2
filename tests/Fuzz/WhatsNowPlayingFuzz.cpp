// Answers of What's Now Playing's web server, one per ask, through its reader.
#include "FuzzInput.hpp"
#include "Readers/WhatsNowPlayingReader.hpp"
#include "Support/Await.hpp"
#include "Values/SourceError.hpp"

#include <string>

using namespace bridge;

namespace {

class Answers : public WhatsNowPlayingFeed {
public:
    explicit Answers(std::vector<std::string_view> bodies) : bodies(std::move(bodies)) {}

    boost::asio::awaitable<std::string> last() override {
        if (next == bodies.size()) {
            throw std::runtime_error("connection refused");
        }
        co_return std::string(bodies[next++]);
    }

private:
    std::vector<std::string_view> bodies;
    std::size_t next = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto bodies = fuzz::pieces(fuzz::text(data, size));
    double clock = 800'000'000.0;
    WhatsNowPlayingReader reader(std::make_shared<Answers>(bodies),
                                 [&] { return instantFromReferenceSeconds(clock); });
    // One ask for each answer, and one more that finds the tool gone.
    for (std::size_t ask = 0; ask <= bodies.size(); ++ask, clock += 2.0) {
        try {
            const auto snapshot = testing::await(reader.read());
            fuzz::require(snapshot.decks.size() == 1, "the tool is one deck");
        } catch (const SourceError&) {
        }
    }
    return 0;
}
