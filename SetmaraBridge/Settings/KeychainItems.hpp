#pragma once

#include "Settings/KeychainResult.hpp"

#include <optional>
#include <string>

namespace bridge {

// Generic-password items of the application's one service in the platform's keychain.
class KeychainItems {
public:
    virtual ~KeychainItems() = default;

    // The item's value; absent when there is none or it cannot be read.
    virtual std::optional<std::string> read(const std::string& account) = 0;
    virtual KeychainResult add(const std::string& account, const std::string& value) = 0;
    virtual KeychainResult update(const std::string& account, const std::string& value) = 0;
    virtual KeychainResult remove(const std::string& account) = 0;
};

} // namespace bridge
