#pragma once

#include <cstdint>

namespace bridge {

// What a keychain operation gave: done, the item was not there, it was there already, or a
// failure with the platform's status code.
class KeychainResult {
public:
    enum class Kind { failed, done, notFound, duplicate };

    static const KeychainResult done;
    static const KeychainResult notFound;
    static const KeychainResult duplicate;
    static constexpr KeychainResult failed(std::int32_t status) { return {Kind::failed, status}; }

    constexpr Kind kind() const { return kind_; }
    // The platform's status code of a failure; 0 for the other kinds.
    constexpr std::int32_t status() const { return status_; }

    bool operator==(const KeychainResult&) const = default;

private:
    constexpr KeychainResult(Kind kind, std::int32_t status) : kind_(kind), status_(status) {}

    Kind kind_;
    std::int32_t status_;
};

inline constexpr KeychainResult KeychainResult::done{Kind::done, 0};
inline constexpr KeychainResult KeychainResult::notFound{Kind::notFound, 0};
inline constexpr KeychainResult KeychainResult::duplicate{Kind::duplicate, 0};

} // namespace bridge
