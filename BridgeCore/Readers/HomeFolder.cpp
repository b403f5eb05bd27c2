#include "Readers/HomeFolder.hpp"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace bridge {

namespace {

std::filesystem::path homeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return home;
    }
    if (const passwd* user = ::getpwuid(::getuid()); user != nullptr && user->pw_dir != nullptr) {
        return user->pw_dir;
    }
    return "/";
}

} // namespace

std::filesystem::path inHomeFolder(std::string_view tildePath) {
    if (tildePath.starts_with("~/")) {
        return homeFolder() / tildePath.substr(2);
    }
    return tildePath;
}

} // namespace bridge
