#pragma once

#include "Readers/DjayHistoryItem.hpp"

#include <exception>
#include <optional>
#include <string>

namespace bridge {

// djay's history database could not be read.
class DjayHistoryError : public std::exception {
public:
    static DjayHistoryError failed(std::string message) {
        return DjayHistoryError(std::move(message));
    }

    const char* what() const noexcept override { return message.c_str(); }

    std::string message; // SQLite's text

private:
    explicit DjayHistoryError(std::string message) : message(std::move(message)) {}
};

// Where djay's play history comes from.
class DjayHistory {
public:
    virtual ~DjayHistory() = default;
    // The entry that went on air last, absent when there is none; may throw.
    virtual std::optional<DjayHistoryItem> latest() = 0;
};

} // namespace bridge
