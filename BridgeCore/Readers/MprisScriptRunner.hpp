#pragma once

#include "Readers/ScriptRunning.hpp"

#include <memory>
#include <string>

namespace bridge {

class MediaPlayers;

// Answers the Spotify script by asking Spotify over the desktop's media-player interface, with
// a reply of the same form the script gives. It serves that one script and refuses any
// other.
class MprisScriptRunner : public ScriptRunning {
public:
    explicit MprisScriptRunner(std::shared_ptr<MediaPlayers> players);

    boost::asio::awaitable<std::string> run(std::string script) override;

private:
    std::shared_ptr<MediaPlayers> players;
};

} // namespace bridge
