// Texts the DJ types or opens: pairing links, codes and server addresses, the second of two
// addresses after the first line break.
#include "FuzzInput.hpp"
#include "Server/PairingRules.hpp"
#include "Server/ServerPages.hpp"
#include "Server/ServerURL.hpp"
#include "Server/SettingsRules.hpp"
#include "Values/Gig.hpp"

using namespace bridge;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto input = fuzz::text(data, size);
    const auto lineBreak = input.find('\n');
    const auto first = input.substr(0, lineBreak);
    const auto second = lineBreak == std::string_view::npos ? first : input.substr(lineBreak + 1);

    if (const auto code = Pairing::codeInLink(input)) {
        fuzz::require(Pairing::code(*code) == code, "a link's code is a normalised code");
    }
    if (const auto code = Pairing::code(input)) {
        fuzz::require(code->size() == 6 || code->size() == 8, "a code has 6 or 8 characters");
    }
    const auto server = Pairing::server(true, first);
    const bool safe = Pairing::isSafe(server);
    fuzz::require(SettingsRules::isComplete(server, "key", Source::mixxx, "", 0) == safe,
                  "complete settings need a safe server");
    fuzz::require(SettingsRules::sameServer(first, first), "an address is its own server");
    fuzz::require(SettingsRules::sameServer(first, second) ==
                      SettingsRules::sameServer(second, first),
                  "the same server either way round");
    ServerPages::guide(first);
    ServerPages::gigs(second);
    if (const auto url =
            serverURL(first, "/api/bridge/gig", QueryItems{{"source", std::string(second)}})) {
        fuzz::require(url->find("/api/bridge/gig") != std::string::npos, "the path is kept");
    }
    Gig{.url = std::string(first)}.screen();
    return 0;
}
