#pragma once

#include <boost/asio/awaitable.hpp>

#include <exception>
#include <string>

namespace bridge {

// A script run failed.
class ScriptError : public std::exception {
public:
    enum class Kind {
        notAllowed, // the platform does not let the bridge talk to the target program
        failed,     // anything else
    };

    static const ScriptError notAllowed;
    static const ScriptError failed;

    explicit ScriptError(Kind kind) noexcept : kind(kind) {}

    const char* what() const noexcept override {
        return kind == Kind::notAllowed ? "not allowed to talk to the program"
                                        : "the script failed";
    }

    bool operator==(const ScriptError& other) const noexcept { return kind == other.kind; }

    Kind kind;
};

inline const ScriptError ScriptError::notAllowed{Kind::notAllowed};
inline const ScriptError ScriptError::failed{Kind::failed};

// Runs a script against another program and gives its text reply. Throws ScriptError.
class ScriptRunning {
public:
    virtual ~ScriptRunning() = default;
    virtual boost::asio::awaitable<std::string> run(std::string script) = 0;
};

} // namespace bridge
