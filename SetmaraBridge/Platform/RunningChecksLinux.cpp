#include "Platform/RunningChecks.hpp"
#include "Readers/RunningPrograms.hpp"

namespace bridge {

bool mixxxIsRunning() {
    return isProgramRunning(isMixxxProcess);
}

// djay has no Linux version, so it never runs here.
bool djayIsRunning() {
    return false;
}

} // namespace bridge
