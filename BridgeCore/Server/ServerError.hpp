#pragma once

#include <exception>
#include <string>

namespace bridge {

// How a conversation with the gig server fails.
class ServerError : public std::exception {
public:
    enum class Kind {
        refused,     // understood and declined, with a text to show
        badKey,      // the bridge key no longer works: pair again
        gigGone,     // the gig, or the play, does not exist on the server
        gigEnded,    // the DJ has ended the gig
        unavailable, // unreachable or an unexpected answer: try again later
    };

    static const ServerError badKey;
    static const ServerError gigGone;
    static const ServerError gigEnded;
    static const ServerError unavailable;
    static ServerError refused(std::string message) {
        return ServerError(Kind::refused, std::move(message));
    }

    Kind kind() const noexcept { return kind_; }
    // The server's words; empty unless refused.
    const std::string& message() const noexcept { return message_; }
    const char* what() const noexcept override {
        return kind_ == Kind::refused ? message_.c_str() : "the gig server failed";
    }

    bool operator==(const ServerError& other) const noexcept {
        return kind_ == other.kind_ && message_ == other.message_;
    }

private:
    explicit ServerError(Kind kind, std::string message = {})
        : kind_(kind), message_(std::move(message)) {}

    Kind kind_;
    std::string message_;
};

inline const ServerError ServerError::badKey{Kind::badKey};
inline const ServerError ServerError::gigGone{Kind::gigGone};
inline const ServerError ServerError::gigEnded{Kind::gigEnded};
inline const ServerError ServerError::unavailable{Kind::unavailable};

} // namespace bridge
