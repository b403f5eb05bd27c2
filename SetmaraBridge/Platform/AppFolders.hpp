#pragma once

#include <filesystem>

namespace bridge {

// The play queue's file in the user's data folder. Only names it: the queue makes its folder.
std::filesystem::path queueFile();

} // namespace bridge
