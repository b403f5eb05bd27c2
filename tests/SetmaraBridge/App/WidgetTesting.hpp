#pragma once

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

namespace bridge::testing {

// The process's widget application, made on first use: offscreen unless the test was given
// a platform, with a runtime folder of its own.
inline QApplication& needWidgets() {
    static QTemporaryDir runtime;
    static QApplication& application = []() -> QApplication& {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        QFile::setPermissions(runtime.path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
        static int argc = 1;
        static char name[] = "WidgetTests";
        static char* argv[] = {name, nullptr};
        // Never destroyed: at exit Qt's own statics are gone before a static application.
        return *new QApplication(argc, argv);
    }();
    return application;
}

} // namespace bridge::testing
