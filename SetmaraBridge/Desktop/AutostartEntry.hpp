#pragma once

namespace bridge {

// "Start at login": an entry in the user's autostart folder
// ($XDG_CONFIG_HOME/autostart, else ~/.config/autostart), read there by the desktop. It is the
// one setting kept outside the preferences file.

// True when the entry is there and the desktop has not been told to skip it.
bool startsAtLogin();

// Writes the entry or removes it. Throws std::runtime_error when it cannot.
void setStartAtLogin(bool on);

} // namespace bridge
