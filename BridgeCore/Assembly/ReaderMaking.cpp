#include "Assembly/ReaderMaking.hpp"

#include "Engine/BridgeLoop.hpp"
#include "ProDJLink/NfsClient.hpp"
#include "ProDJLink/ProDJLinkLink.hpp"
#include "ProDJLink/ProDJLinkReader.hpp"
#include "Readers/DjayDatabase.hpp"
#include "Readers/DjayReader.hpp"
#include "Readers/MixxxDatabase.hpp"
#include "Readers/MixxxReader.hpp"
#include "Readers/MprisScriptRunner.hpp"
#include "Readers/MusicPlayerReader.hpp"
#include "Readers/NowPlayingOnDisk.hpp"
#include "Readers/SpotifyReader.hpp"
#include "Readers/VDJClient.hpp"
#include "Readers/VDJReader.hpp"
#include "Readers/WhatsNowPlayingReader.hpp"
#include "Readers/WhatsNowPlayingServer.hpp"
#include "StageLinQ/DenonReader.hpp"
#include "StageLinQ/StageLinQLink.hpp"

namespace bridge {

std::shared_ptr<DeckReading> makeReader(const EngineRecipe& recipe,
                                        const std::shared_ptr<HTTPTransport>& transport) {
    switch (recipe.source) {
    case Source::virtualDJ:
        return std::make_shared<VDJReader>(
            std::make_shared<VDJClient>(recipe.vdjPort, recipe.vdjPassword, transport),
            recipe.decks);
    case Source::spotify:
        return std::make_shared<SpotifyReader>(
            std::make_shared<MprisScriptRunner>(recipe.mediaPlayers));
    case Source::djay:
        return std::make_shared<DjayReader>(
            std::make_shared<DjayDatabase>(DjayDatabase::defaultPath()),
            std::make_shared<NowPlayingOnDisk>(DjayReader::defaultPath()), recipe.djayIsRunning);
    case Source::mixxx:
        return std::make_shared<MixxxReader>(
            std::make_shared<MixxxDatabase>(MixxxDatabase::defaultPaths()), recipe.mixxxIsRunning);
    case Source::whatsNowPlaying:
        return std::make_shared<WhatsNowPlayingReader>(
            std::make_shared<WhatsNowPlayingServer>(transport));
    case Source::denon:
        return std::make_shared<DenonReader>(
            std::make_shared<StageLinQLink>(StageLinQ::discoveryPort), recipe.denonToken);
    case Source::musicPlayer:
        return std::make_shared<MusicPlayerReader>(recipe.mediaPlayers, recipe.player,
                                                   recipe.playerName);
    case Source::proDJLink:
        return std::make_shared<ProDJLinkReader>(std::make_shared<ProDJLinkLink>(),
                                                 std::make_shared<NfsClient>(), ReferenceClock::now,
                                                 BridgeLoop::sleep);
    }
    return nullptr;
}

} // namespace bridge
