#include "App/TrayWatch.hpp"

#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QSystemTrayIcon>
#include <QTimer>

#include <memory>
#include <utility>

namespace bridge {

namespace {

const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");

bool watcherIsThere(const QDBusConnection& bus) {
    return bus.isConnected() && bus.interface() != nullptr &&
           bus.interface()->isServiceRegistered(watcherService).value();
}

} // namespace

void whenTrayKnown(const QDBusConnection& bus, std::chrono::milliseconds patience, QObject* context,
                   std::function<void(bool hasTray)> known) {
    if (!bus.isConnected() || watcherIsThere(bus)) {
        QTimer::singleShot(0, context, [known = std::move(known)] {
            known(QSystemTrayIcon::isSystemTrayAvailable());
        });
        return;
    }
    // Whichever comes first, the watcher or the end of patience, decides, once. A watcher that
    // comes between the check above and this one is found by Qt at the end of patience.
    auto* waiting = new QObject(context);
    auto* watcher = new QDBusServiceWatcher(watcherService, bus,
                                            QDBusServiceWatcher::WatchForRegistration, waiting);
    auto* timer = new QTimer(waiting);
    timer->setSingleShot(true);
    auto pending = std::make_shared<std::function<void(bool)>>(std::move(known));
    auto decide = [waiting, pending] {
        if (!*pending) {
            return;
        }
        const auto tell = std::exchange(*pending, nullptr);
        waiting->deleteLater();
        tell(QSystemTrayIcon::isSystemTrayAvailable());
    };
    QObject::connect(watcher, &QDBusServiceWatcher::serviceRegistered, waiting, decide);
    QObject::connect(timer, &QTimer::timeout, waiting, decide);
    timer->start(patience);
}

} // namespace bridge
