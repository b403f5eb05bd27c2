#pragma once

#include <filesystem>
#include <functional>
#include <string_view>

namespace bridge {

// Whether a running process has a name that `matches` accepts. The names are the kernel's
// short command names (/proc/<pid>/comm, at most 15 bytes); `processes` is the proc folder.
bool isProgramRunning(const std::function<bool(std::string_view name)>& matches,
                      const std::filesystem::path& processes = "/proc");

// The process names of the DJ programs read from files.
bool isMixxxProcess(std::string_view name);
bool isDjayProcess(std::string_view name);

} // namespace bridge
