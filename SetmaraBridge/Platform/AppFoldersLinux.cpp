#include "Platform/AppFolders.hpp"

#include <cstdlib>
#include <pwd.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace bridge {
namespace {

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

// The XDG rules: a data home that is unset, empty or relative is ignored.
std::filesystem::path dataHome() {
    if (const char* set = std::getenv("XDG_DATA_HOME"); set != nullptr) {
        std::filesystem::path folder = set;
        if (folder.is_absolute()) {
            return folder;
        }
    }
    return homeFolder() / ".local" / "share";
}

} // namespace

std::filesystem::path queueFile() {
    return dataHome() / "SetmaraBridge" / "queue.json";
}

} // namespace bridge
