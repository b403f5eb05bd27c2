#pragma once

#include "Server/SettingsRules.hpp"
#include "Values/Source.hpp"

#include <string>

class QSettings;

namespace bridge {

class KeychainItems;

// The user's configuration: plain values in the preferences, the key and the VirtualDJ
// password in the keychain. A default-made value holds the defaults.
struct BridgeSettings {
    std::string serverURL = defaultServer();
    bool advanced = false;
    std::string key;
    std::string pairedAs;
    Source source = Source::virtualDJ;
    int vdjPort = 8080;
    std::string vdjPassword;
    int decks = SettingsRules::defaultDecks;
    std::string player;     // the music player: its bus name without an instance suffix
    std::string playerName; // its identity, as the player names itself
    int countAfter = SettingsRules::defaultDelay;
    bool sharing = true;

    bool operator==(const BridgeSettings&) const = default;

    // Every value that is absent, wrongly typed or out of range loads as its default; a
    // keychain that cannot be read gives empty secrets.
    static BridgeSettings load(QSettings& preferences, KeychainItems& secrets);
    // The preferences (synced to disk), then the key, then only if that was saved the
    // password; throws SecretsError::notSaved for the first secret not saved. A value that
    // is already stored is not written again.
    void save(QSettings& preferences, KeychainItems& secrets) const;

    // The public server (kept out of line so that this header stays light).
    static std::string defaultServer();
};

} // namespace bridge
