#pragma once

#include <string_view>

// The texts that name things only one platform has (its privacy panes, its keychain, "this
// Mac"), in both platforms' words. Every other text is the same everywhere.
namespace bridge::Wording {

struct Text {
    std::string_view mac;
    std::string_view otherwise; // Linux and every platform without the Mac's services
};

// The words of the platform this is built for.
constexpr std::string_view shown(const Text& text) {
#if defined(__APPLE__)
    return text.mac;
#else
    return text.otherwise;
#endif
}

inline constexpr bool hasPrivacySettings =
#if defined(__APPLE__)
    true;
#else
    false;
#endif

inline constexpr Text spotifyNotAllowed{
    "Not allowed to read Spotify (Privacy & Security › Automation)",
    "Not allowed to ask Spotify what plays (its media-player interface refused)"};
inline constexpr Text djayNotAllowed{
    "Not allowed to read djay’s folder (Privacy & Security › Files & Folders)",
    "Not allowed to read djay’s folder (check its permissions)"};
inline constexpr Text mixxxNotAllowed{
    "Not allowed to read Mixxx’s library (Privacy & Security › Full Disk Access)",
    "Not allowed to read Mixxx’s library (check the permissions of mixxxdb.sqlite)"};
inline constexpr Text denonNotAllowed{
    "Not allowed on the local network (Privacy & Security › Local Network)",
    "Not allowed on the local network (a firewall must let UDP port 51337 through)"};
inline constexpr Text noDenonPlayer{
    "No Denon player found (on the same network? Privacy & Security › Local Network)",
    "No Denon player found (on the same network? A firewall must let UDP port 51337 through)"};
inline constexpr Text unsafeServer{
    "The server’s address needs HTTPS (plain HTTP only to this Mac: 127.0.0.1 or localhost).",
    "The server’s address needs HTTPS (plain HTTP only to this computer: 127.0.0.1 or "
    "localhost)."};
inline constexpr Text keychainFailed{"The bridge couldn’t keep its key in your Keychain",
                                     "The bridge couldn’t keep its key in your keyring"};
inline constexpr Text keychainFailedText{
    "It works until you quit; after that it needs pairing again. Check that the login keychain "
    "is unlocked (Keychain Access), then change the setting again.",
    "It works until you quit; after that it needs pairing again. Check that your desktop’s "
    "keyring (GNOME Keyring or KWallet) is running and unlocked, then change the setting "
    "again."};
inline constexpr Text thisComputer{"this Mac", "this computer"};
inline constexpr Text thisComputerCapital{"This Mac", "This computer"};
inline constexpr Text spotifyChoice{"Spotify on this Mac", "Spotify on this computer"};
inline constexpr Text spotifyHelp{
    "Play from the Spotify app on this Mac. The first time, macOS asks whether the bridge may "
    "control Spotify: allow it (System Settings › Privacy & Security › Automation). The bridge "
    "only asks what plays and doesn’t open Spotify.",
    "Play from the Spotify app on this computer. The bridge only asks it what plays, over the "
    "desktop’s media-player interface, and doesn’t open Spotify."};
inline constexpr Text djayHelp{
    "Play from djay Pro on this Mac. djay adds each song it plays on air to its history, in its "
    "library in your Music folder; the bridge only reads the latest one there (with an older "
    "djay, the now-playing file beside it). The first time, macOS may ask whether the bridge may "
    "use your Music folder: allow it. Tempo and key come from Setmara once the song is found.",
    "djay has no Linux version, so there is nothing on this computer for the bridge to read. On "
    "a Mac, the bridge reads the latest song in djay’s history."};
inline constexpr Text mixxxHelp{
    "Play from Mixxx on this Mac. Mixxx adds the song on air (by volume and crossfader) to its "
    "History; the bridge only reads the latest one from Mixxx’s library. macOS asks whether the "
    "bridge may use data from other apps: allow it, or give it Full Disk Access (Privacy & "
    "Security) so it isn’t asked again.",
    "Play from Mixxx on this computer. Mixxx adds the song on air (by volume and crossfader) to "
    "its History; the bridge only reads the latest one from Mixxx’s library (in ~/.mixxx, or in "
    "the Flatpak’s folder)."};
inline constexpr Text denonHelp{
    "Play from Denon DJ gear with Engine OS (PRIME, SC5000/SC6000, SC LIVE, MIXSTREAM PRO) on "
    "the same network as this Mac: both on the same router, by cable or Wi‑Fi. The bridge finds "
    "the players by itself and only listens: each deck’s song, whether it plays and how far its "
    "fader is up (a Denon mixer’s too). The first time, macOS asks whether the bridge may find "
    "devices on your local network: allow it (Privacy & Security › Local Network). The tempo "
    "comes from the player, the key from Setmara once the song is found.",
    "Play from Denon DJ gear with Engine OS (PRIME, SC5000/SC6000, SC LIVE, MIXSTREAM PRO) on "
    "the same network as this computer: both on the same router, by cable or Wi‑Fi. The bridge "
    "finds the players by itself and only listens: each deck’s song, whether it plays and how "
    "far its fader is up (a Denon mixer’s too). A firewall on this computer must let UDP port "
    "51337 and the players’ connections through. The tempo comes from the player, the key from "
    "Setmara once the song is found."};
inline constexpr Text advancedNote{
    "For trying things out against a Setmara on this Mac. Plain HTTP is only allowed to "
    "127.0.0.1 or localhost; anywhere else needs HTTPS. A key belongs to one server: changing "
    "the server lets go of it, and the bridge pairs again with the new one.",
    "For trying things out against a Setmara on this computer. Plain HTTP is only allowed to "
    "127.0.0.1 or localhost; anywhere else needs HTTPS. A key belongs to one server: changing "
    "the server lets go of it, and the bridge pairs again with the new one."};
inline constexpr Text bridgeKeyNote{
    "The key the bridge got by pairing, kept in your Keychain. A key typed here replaces it (for "
    "a bridge set up by hand). Normally you never need this: pair with a code in General.",
    "The key the bridge got by pairing, kept in your keyring. A key typed here replaces it (for "
    "a bridge set up by hand). Normally you never need this: pair with a code in General."};

} // namespace bridge::Wording
