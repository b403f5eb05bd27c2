#pragma once

#include <exception>
#include <string>

namespace bridge {

class SecretsError : public std::exception {
public:
    // Storing the secret of `account` failed.
    static SecretsError notSaved(std::string account);

    const std::string& account() const { return account_; }
    const char* what() const noexcept override { return message.c_str(); }

private:
    explicit SecretsError(std::string account);

    std::string account_;
    std::string message;
};

} // namespace bridge
