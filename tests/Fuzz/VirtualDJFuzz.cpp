// Answers of VirtualDJ's Network Control, one per question, through the reader and its
// client over a transport that gives them back in order.
#include "FuzzInput.hpp"
#include "Readers/VDJClient.hpp"
#include "Readers/VDJReader.hpp"
#include "Support/Await.hpp"
#include "Support/FakeTransport.hpp"
#include "Values/SourceError.hpp"

#include <string>

using namespace bridge;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto answers = fuzz::pieces(fuzz::text(data, size));
    auto transport = std::make_shared<testing::FakeTransport>();
    std::size_t next = 0;
    transport->answer = [&](const HTTPRequest&) {
        if (next == answers.size()) {
            throw std::runtime_error("connection refused");
        }
        return HTTPResponse{200, std::string(answers[next++])};
    };
    VDJReader reader(std::make_shared<VDJClient>(8080, "secret", transport), {1, 2});
    // Reads until the answers run out, at most one per answer and one more.
    for (std::size_t read = 0; read <= answers.size(); ++read) {
        try {
            const auto snapshot = testing::await(reader.read());
            fuzz::require(snapshot.decks.size() == 2, "a read gives every deck asked for");
        } catch (const SourceError&) {
            break;
        }
    }
    return 0;
}
