#include "Platform/AppFolders.hpp"
#include "Support/HomeFolder.hpp"

namespace bridge {

std::filesystem::path queueFile() {
    return xdgFolder("XDG_DATA_HOME", "~/.local/share") / "SetmaraBridge" / "queue.json";
}

} // namespace bridge
