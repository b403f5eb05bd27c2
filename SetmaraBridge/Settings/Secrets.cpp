#include "Settings/Secrets.hpp"

#include "Settings/KeychainItems.hpp"
#include "Settings/SecretsError.hpp"

namespace bridge::Secrets {

namespace {

bool removed(const std::string& account, KeychainItems& items) {
    const KeychainResult result = items.remove(account);
    return result == KeychainResult::done || result == KeychainResult::notFound;
}

// Updates an item that was there, adds one that was not, and falls back to the other
// operation when the keychain has changed since it was read.
bool stored(const std::string& value, const std::string& account, bool existed,
            KeychainItems& items) {
    const KeychainResult first = existed ? items.update(account, value) : items.add(account, value);
    if (first == KeychainResult::done) {
        return true;
    }
    if (existed && first == KeychainResult::notFound) {
        return items.add(account, value) == KeychainResult::done;
    }
    if (!existed && first == KeychainResult::duplicate) {
        return items.update(account, value) == KeychainResult::done;
    }
    return false;
}

} // namespace

void write(const std::string& value, const std::string& account, KeychainItems& items) {
    const std::optional<std::string> current = items.read(account);
    if (value == current.value_or("")) {
        return;
    }
    const bool saved = value.empty() ? removed(account, items)
                                     : stored(value, account, current.has_value(), items);
    if (!saved) {
        throw SecretsError::notSaved(account);
    }
}

} // namespace bridge::Secrets
