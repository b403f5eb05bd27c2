#include "Assembly/EngineRecipe.hpp"

#include "Assembly/ReaderMaking.hpp"
#include "Engine/BridgeEngine.hpp"
#include "Server/BeastTransport.hpp"
#include "Server/ServerClient.hpp"

namespace bridge {

std::vector<int> EngineRecipe::vdjDecks(int count) {
    std::vector<int> decks{1};
    for (int deck = 2; deck <= count; ++deck) {
        decks.push_back(deck);
    }
    return decks;
}

EngineMaker engineMaker(EngineRecipe recipe) {
    // One transport for reader and server, so that connections are kept for both.
    const auto transport = std::make_shared<BeastTransport>();
    const auto reader = makeReader(recipe, transport);
    const auto server =
        std::make_shared<ServerClient>(recipe.server, recipe.key, recipe.source, transport);
    return [reader, server, recipe = std::move(recipe)] {
        return std::make_shared<BridgeEngine>(
            reader, server, PlayQueue(recipe.queueFile),
            PlayDetector(Seconds(static_cast<double>(recipe.countAfter))),
            BridgeEngine::Settings{.sharing = recipe.sharing});
    };
}

} // namespace bridge
