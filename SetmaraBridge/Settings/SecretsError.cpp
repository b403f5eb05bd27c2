#include "Settings/SecretsError.hpp"

#include <utility>

namespace bridge {

SecretsError SecretsError::notSaved(std::string account) {
    return SecretsError(std::move(account));
}

SecretsError::SecretsError(std::string account)
    : account_(std::move(account)), message("the secret \"" + account_ + "\" was not saved") {}

} // namespace bridge
