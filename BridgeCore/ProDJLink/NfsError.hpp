#pragma once

#include <exception>

namespace bridge {

// The ways reading a file from a player's NFS service fails.
class NfsError : public std::exception {
public:
    enum class Kind {
        notAnswering, // no answer within the tries or the time limit
        refused,      // the player answered but would not do it: not offered, denied, I/O error
        noSuchFile,   // no such medium, folder or file; a name that cannot be sent
        stale,        // the handle no longer names anything: the medium was taken out
        tooLarge,     // the file is larger than the caller's limit
        malformed,    // an answer that does not decode
    };

    static const NfsError notAnswering;
    static const NfsError refused;
    static const NfsError noSuchFile;
    static const NfsError stale;
    static const NfsError tooLarge;
    static const NfsError malformed;

    explicit NfsError(Kind kind) noexcept : kind(kind) {}

    const char* what() const noexcept override {
        switch (kind) {
        case Kind::notAnswering:
            return "the player's file service is not answering";
        case Kind::refused:
            return "the player refused the request";
        case Kind::noSuchFile:
            return "no such file on the player";
        case Kind::stale:
            return "the player's medium changed";
        case Kind::tooLarge:
            return "the file is too large";
        case Kind::malformed:
            return "the player's answer is malformed";
        }
        return "NFS error";
    }

    bool operator==(const NfsError& other) const noexcept { return kind == other.kind; }

    Kind kind;
};

inline const NfsError NfsError::notAnswering{Kind::notAnswering};
inline const NfsError NfsError::refused{Kind::refused};
inline const NfsError NfsError::noSuchFile{Kind::noSuchFile};
inline const NfsError NfsError::stale{Kind::stale};
inline const NfsError NfsError::tooLarge{Kind::tooLarge};
inline const NfsError NfsError::malformed{Kind::malformed};

} // namespace bridge
