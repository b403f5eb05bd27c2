#pragma once

#include <exception>

namespace bridge {

// The ways a StageLinQ session fails on the protocol's own terms.
class StageLinQError : public std::exception {
public:
    enum class Kind {
        noStateMap, // the device offered no state-map service
        closed,     // a connection was closed or delivered less than asked for
        tooLong,    // a length field above its limit
    };

    static const StageLinQError noStateMap;
    static const StageLinQError closed;
    static const StageLinQError tooLong;

    explicit StageLinQError(Kind kind) noexcept : kind(kind) {}

    const char* what() const noexcept override {
        switch (kind) {
        case Kind::noStateMap:
            return "the device offers no state map";
        case Kind::closed:
            return "the connection closed";
        case Kind::tooLong:
            return "a length field is above its limit";
        }
        return "StageLinQ error";
    }

    bool operator==(const StageLinQError& other) const noexcept { return kind == other.kind; }

    Kind kind;
};

inline const StageLinQError StageLinQError::noStateMap{Kind::noStateMap};
inline const StageLinQError StageLinQError::closed{Kind::closed};
inline const StageLinQError StageLinQError::tooLong{Kind::tooLong};

} // namespace bridge
