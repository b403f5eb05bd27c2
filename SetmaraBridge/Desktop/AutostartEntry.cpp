#include "Desktop/AutostartEntry.hpp"

#include "Support/Files.hpp"
#include "Support/HomeFolder.hpp"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace bridge {

namespace {

constexpr const char* entryText = "[Desktop Entry]\n"
                                  "Type=Application\n"
                                  "Name=Setmara Bridge\n"
                                  "Comment=Sends the songs you play to your Setmara gig\n"
                                  "Exec=setmara-bridge\n"
                                  "Icon=app.setmara.Bridge\n"
                                  "Terminal=false\n"
                                  "X-GNOME-Autostart-enabled=true\n";

std::filesystem::path entryFile() {
    return xdgFolder("XDG_CONFIG_HOME", "~/.config") / "autostart" / "app.setmara.Bridge.desktop";
}

// Session managers keep an entry the user switched off in their own settings, marked so.
bool switchedOff(const std::string& text) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line == "Hidden=true" || line == "X-GNOME-Autostart-enabled=false") {
            return true;
        }
    }
    return false;
}

[[noreturn]] void fail(const std::string& what, const std::filesystem::path& file, int error) {
    throw std::runtime_error("Cannot " + what + " the autostart entry " + file.string() +
                             (error != 0 ? std::string(": ") + std::strerror(error) : ""));
}

void writeEntry(const std::filesystem::path& file) {
    if (const FileRead present = readWholeFile(file);
        present.outcome == FileRead::Outcome::read && present.bytes == entryText) {
        return;
    }
    errno = 0;
    if (!createFolders(file.parent_path(), 0700) || !replaceAtomically(file, entryText, 0644)) {
        fail("write", file, errno);
    }
}

void removeEntry(const std::filesystem::path& file) {
    if (::unlink(file.c_str()) != 0 && errno != ENOENT) {
        fail("remove", file, errno);
    }
}

} // namespace

bool startsAtLogin() {
    const FileRead entry = readWholeFile(entryFile());
    return entry.outcome == FileRead::Outcome::read && !switchedOff(entry.bytes);
}

void setStartAtLogin(bool on) {
    const std::filesystem::path file = entryFile();
    if (on) {
        writeEntry(file);
    } else {
        removeEntry(file);
    }
}

} // namespace bridge
