#include "Values/FileKey.hpp"

#include <openssl/evp.h>

#include <stdexcept>

namespace bridge::FileKey {

namespace {

bool isLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// A letter, then at least one letter, digit, "+", "." or "-", then a colon. A drive letter
// ("C:") has only one character before its colon and so is no scheme.
bool startsWithScheme(std::string_view path) {
    if (path.empty() || !isLetter(path[0])) {
        return false;
    }
    std::size_t i = 1;
    while (i < path.size() && (isLetter(path[i]) || isDigit(path[i]) || path[i] == '+' ||
                               path[i] == '.' || path[i] == '-')) {
        ++i;
    }
    return i >= 2 && i < path.size() && path[i] == ':';
}

bool startsWithFileScheme(std::string_view path) {
    constexpr std::string_view file = "file:";
    if (path.size() < file.size()) {
        return false;
    }
    for (std::size_t i = 0; i < file.size(); ++i) {
        const char c = path[i];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != file[i]) {
            return false;
        }
    }
    return true;
}

std::string sha256Hex(std::string_view bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr) != 1) {
        throw std::runtime_error("SHA-256 is not available");
    }
    static constexpr char hex[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * length);
    for (unsigned int i = 0; i < length; ++i) {
        text += hex[digest[i] >> 4];
        text += hex[digest[i] & 0xF];
    }
    return text;
}

} // namespace

std::string of(std::string_view path) {
    if (startsWithScheme(path) && !startsWithFileScheme(path)) {
        return std::string(path);
    }
    return "sha256:" + sha256Hex(path);
}

} // namespace bridge::FileKey
