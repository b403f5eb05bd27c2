#pragma once

#include "SetmaraBridge/QtPrinting.hpp"
#include "Support/TempFolder.hpp"

#include <QApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

namespace bridge::testing {

// The process's one QApplication, offscreen, with a runtime folder of its own. Widgets need a
// QApplication, so every test of this program shares one.
inline void useApplication() {
    if (QCoreApplication::instance() != nullptr) {
        return;
    }
    static TempFolder runtime;
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    static int argc = 1;
    static char name[] = "PlatformTests";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv); // for the whole run
}

// An environment variable set (or unset) for as long as the object lives.
class ScopedVariable {
public:
    ScopedVariable(std::string name, std::optional<std::string> value) : name(std::move(name)) {
        if (const char* old = std::getenv(this->name.c_str()); old != nullptr) {
            before = old;
        }
        set(value);
    }
    ~ScopedVariable() { set(before); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    void set(const std::optional<std::string>& value) {
        if (value) {
            ::setenv(name.c_str(), value->c_str(), 1);
        } else {
            ::unsetenv(name.c_str());
        }
    }

    std::string name;
    std::optional<std::string> before;
};

// Runs Qt's events until `done` holds or `limit` has passed; whether it held.
inline bool waitUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    const QDeadlineTimer deadline(limit);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
    return true;
}

} // namespace bridge::testing
