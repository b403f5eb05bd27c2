#pragma once

#include <QDBusConnection>

#include <chrono>
#include <functional>

class QObject;

namespace bridge {

// Qt settles once per process whether the tray goes over D-Bus, the first time it is asked.
// A desktop whose StatusNotifierWatcher is not on the bus yet (a session still starting) is
// given `patience` to bring it before Qt is asked; `known` then says whether a tray exists.
// Nothing is called once `context` is gone.
void whenTrayKnown(const QDBusConnection& bus, std::chrono::milliseconds patience, QObject* context,
                   std::function<void(bool hasTray)> known);

} // namespace bridge
