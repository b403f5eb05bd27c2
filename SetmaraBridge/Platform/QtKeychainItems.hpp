#pragma once

#include "Settings/KeychainItems.hpp"

#include <chrono>

namespace bridge {

// The keychain through QtKeychain (on Linux the Secret Service), under the service
// "app.setmara.Bridge". QtKeychain's jobs need an event loop in the thread that started
// them, so they all run on one keychain thread; the caller waits for each one at most
// `limit`, without an event loop. A job that takes longer reads as absent or fails.
class QtKeychainItems : public KeychainItems {
public:
    explicit QtKeychainItems(std::chrono::milliseconds limit = std::chrono::seconds(5));

    std::optional<std::string> read(const std::string& account) override;
    // QtKeychain has no separate add and update: both replace the value.
    KeychainResult add(const std::string& account, const std::string& value) override;
    KeychainResult update(const std::string& account, const std::string& value) override;
    // Removing an item that is not there succeeds.
    KeychainResult remove(const std::string& account) override;

private:
    KeychainResult write(const std::string& account, const std::string& value);

    std::chrono::milliseconds limit;
};

} // namespace bridge
