#pragma once

#include <exception>

namespace bridge {

// The two ways a read of a source fails.
class SourceError : public std::exception {
public:
    enum class Kind {
        notAllowed,   // the source refuses the bridge: a wrong password, a missing permission
        notAnswering, // the source is not there: not running, not answering, not found
    };

    static const SourceError notAllowed;
    static const SourceError notAnswering;

    explicit SourceError(Kind kind) noexcept : kind(kind) {}

    const char* what() const noexcept override {
        return kind == Kind::notAllowed ? "the source refuses the bridge"
                                        : "the source is not answering";
    }

    bool operator==(const SourceError& other) const noexcept { return kind == other.kind; }

    Kind kind;
};

inline const SourceError SourceError::notAllowed{Kind::notAllowed};
inline const SourceError SourceError::notAnswering{Kind::notAnswering};

} // namespace bridge
