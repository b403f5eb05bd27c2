#pragma once

#include <filesystem>
#include <string_view>

namespace bridge {

// The user's home folder: $HOME, else the user's entry in the password file, else "/".
std::filesystem::path homeFolder();

// A path given as "~/..." with the user's home folder in place of the "~".
std::filesystem::path inHomeFolder(std::string_view tildePath);

// An XDG base folder: the variable's value when it is an absolute path; unset, empty or
// relative, the fallback ("~/..."), as the XDG rules say.
std::filesystem::path xdgFolder(const char* variable, std::string_view fallback);

} // namespace bridge
