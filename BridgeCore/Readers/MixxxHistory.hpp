#pragma once

#include "Support/Instant.hpp"

#include <cstdint>
#include <exception>
#include <optional>
#include <string>

namespace bridge {

// The newest entry of Mixxx's play history.
struct MixxxPlay {
    std::optional<std::string> title;
    std::optional<std::string> artist;
    std::optional<double> bpm;
    std::optional<std::int64_t> keyId;   // Mixxx's key code: 1-12 major, 13-24 minor
    std::optional<double> duration;      // seconds
    std::optional<std::string> location; // the track's file path
    Instant added;                       // when the entry joined the history

    bool operator==(const MixxxPlay&) const = default;
};

// Failure of the database side.
class MixxxError : public std::exception {
public:
    enum class Kind {
        failed,     // SQLite failed; the message says how
        notAllowed, // the platform refused access to the file
    };

    static MixxxError failed(std::string message) { return {Kind::failed, std::move(message)}; }
    static MixxxError notAllowed() { return {Kind::notAllowed, "not allowed to read the file"}; }

    const char* what() const noexcept override { return message.c_str(); }

    Kind kind;
    std::string message;

private:
    MixxxError(Kind kind, std::string message) : kind(kind), message(std::move(message)) {}
};

// Where Mixxx's history comes from.
class MixxxHistory {
public:
    virtual ~MixxxHistory() = default;
    // The newest entry, absent when there is none. Throws MixxxError (or another error).
    virtual std::optional<MixxxPlay> latest() = 0;
};

} // namespace bridge
