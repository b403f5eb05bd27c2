#include "Support/HomeFolder.hpp"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace bridge {

std::filesystem::path homeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return home;
    }
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr) {
        return found->pw_dir;
    }
    return "/";
}

std::filesystem::path inHomeFolder(std::string_view tildePath) {
    if (tildePath.starts_with("~/")) {
        return homeFolder() / tildePath.substr(2);
    }
    return tildePath;
}

std::filesystem::path xdgFolder(const char* variable, std::string_view fallback) {
    if (const char* set = std::getenv(variable); set != nullptr) {
        std::filesystem::path folder = set;
        if (folder.is_absolute()) {
            return folder;
        }
    }
    return inHomeFolder(fallback);
}

} // namespace bridge
