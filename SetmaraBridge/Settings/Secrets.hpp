#pragma once

#include <string>
#include <string_view>

namespace bridge {

class KeychainItems;

namespace Secrets {

inline constexpr std::string_view keyAccount = "bridge-key";
inline constexpr std::string_view passwordAccount = "virtualdj-password";

// Makes the item of `account` hold `value` (no item for an empty value), writing nothing
// when it already does. Throws SecretsError::notSaved(account) when the keychain refuses.
void write(const std::string& value, const std::string& account, KeychainItems& items);

} // namespace Secrets

} // namespace bridge
