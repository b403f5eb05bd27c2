#pragma once

#include <string_view>

// The texts that name things only one platform has (its privacy panes, its keychain, "this
// Mac"), in both platforms' words. Every other text is the same everywhere.
namespace bridge::Wording {

struct Text {
    std::string_view mac;
    std::string_view otherwise; // Linux and every platform without the Mac's services

    // A text that is the same everywhere.
    static constexpr Text both(std::string_view text) { return {text, text}; }
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
