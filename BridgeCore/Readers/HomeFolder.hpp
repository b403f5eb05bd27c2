#pragma once

#include <filesystem>
#include <string_view>

namespace bridge {

// A path given as "~/..." with the user's home folder in place of the "~".
std::filesystem::path inHomeFolder(std::string_view tildePath);

} // namespace bridge
