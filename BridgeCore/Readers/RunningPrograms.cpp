#include "Readers/RunningPrograms.hpp"

#include "Support/Files.hpp"

#include <algorithm>
#include <cctype>

namespace bridge {

bool isProgramRunning(const std::function<bool(std::string_view name)>& matches,
                      const std::filesystem::path& processes) {
    std::error_code error;
    std::filesystem::directory_iterator entries(processes, error);
    for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
        const std::string pid = entries->path().filename().string();
        if (pid.empty() || !std::all_of(pid.begin(), pid.end(),
                                        [](unsigned char c) { return std::isdigit(c) != 0; })) {
            continue;
        }
        // A process may end between the listing and the read; it is then simply not seen.
        FileRead comm = readWholeFile(entries->path() / "comm");
        if (comm.outcome != FileRead::Outcome::read) {
            continue;
        }
        std::string_view name = comm.bytes;
        if (!name.empty() && name.back() == '\n') {
            name.remove_suffix(1);
        }
        if (matches(name)) {
            return true;
        }
    }
    return false;
}

bool isMixxxProcess(std::string_view name) {
    // Flathub's package starts its renamed binary from a wrapper script.
    return name == "mixxx" || name == "mixxx.bin";
}

bool isDjayProcess(std::string_view name) {
    // Every djay edition counts, as the bundle identifiers of all of them begin alike.
    return name.starts_with("djay");
}

} // namespace bridge
