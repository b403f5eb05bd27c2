#pragma once

#include "Values/Wording.hpp"

#include <exception>
#include <optional>
#include <string>
#include <string_view>

namespace bridge {

// The rules of pairing codes, pairing links and server addresses: pure functions, for the
// windows as much as for the exchange (Pairing.hpp).
namespace Pairing {

inline constexpr std::string_view codeAlphabet = "ABCDEFGHIJKMNPQRSTUVWXYZ23456789";
inline constexpr std::string_view defaultServer = "https://setmara.app";
inline constexpr std::string_view unsafeServer = Wording::shown(Wording::unsafeServer);
inline constexpr std::string_view linkScheme = "setmara-bridge";
inline constexpr std::string_view linkHost = "pair";
inline constexpr std::string_view pairPath = "/api/bridge/pair";

// The code the user typed, in upper case without blanks and hyphens; absent unless it is
// 6 or 8 characters of the code alphabet.
std::optional<std::string> code(std::string_view typed);
// The code as displayed: its two halves with a space between.
std::string shown(std::string_view code);
// The code carried by a pairing link setmara-bridge://pair?code=...
std::optional<std::string> codeInLink(std::string_view link);
// The server the settings mean: the trimmed custom address when advanced, else the default.
std::string server(bool advanced, std::string_view custom);
// Whether the text parses as a URL reference (absolute or not).
bool isURL(std::string_view text);
// HTTPS anywhere, plain HTTP only to this computer, never with user or password.
bool isSafe(std::string_view server);
std::optional<std::string> safeLink(const std::optional<std::string>& link);
// The text shown for a failed pairing.
std::string message(const std::exception& error);

} // namespace Pairing

} // namespace bridge
