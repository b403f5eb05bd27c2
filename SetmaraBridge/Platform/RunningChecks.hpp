#pragma once

namespace bridge {

// Whether the DJ programs whose files the readers read are running now.
bool mixxxIsRunning();
bool djayIsRunning();

} // namespace bridge
