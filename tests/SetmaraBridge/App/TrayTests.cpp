// Runs on a private session bus and a virtual X display (dbus-run-session, xvfb-run), where
// the test itself is the desktop's StatusNotifierWatcher, unless told to have none.
#include "App/BridgeApp.hpp"
#include "App/TrayItem.hpp"
#include "SetmaraBridge/App/WidgetTesting.hpp"
#include "SetmaraBridge/Model/ModelTesting.hpp"
#include "Views/BridgeWindow.hpp"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>

#include <mutex>

namespace bridge {
namespace {

using namespace std::chrono_literals;

const QString watcherName = QStringLiteral("org.kde.StatusNotifierWatcher");

// The desktop's side of the tray: takes the items' registrations. It answers on a thread and
// a bus connection of its own, because the application asks it with blocking calls.
class Watcher : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)

public:
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList items() const {
        const std::scoped_lock lock(mutex);
        return registered;
    }
    // Where the item's object is: its bus name and path.
    std::pair<QString, QString> item() const {
        const std::scoped_lock lock(mutex);
        return registered.isEmpty() ? std::pair<QString, QString>{} : places.front();
    }

public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString& item) {
        const bool isPath = item.startsWith(QLatin1Char('/'));
        const QString service = isPath ? message().service() : item;
        const QString path = isPath ? item : QStringLiteral("/StatusNotifierItem");
        const std::scoped_lock lock(mutex);
        registered << service + path;
        places.emplace_back(service, path);
    }
    void RegisterStatusNotifierHost(const QString&) {}

private:
    mutable std::mutex mutex;
    QStringList registered;
    std::vector<std::pair<QString, QString>> places;
};

// The watcher on its thread, owning the watcher's name on the session bus.
class WatcherThread {
public:
    WatcherThread() {
        watcher.moveToThread(&thread);
        thread.start();
        QMetaObject::invokeMethod(
            &watcher,
            [this] {
                bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
                                   QDBusConnection::ExportAllSlots |
                                       QDBusConnection::ExportAllProperties);
                bus.registerService(watcherName);
            },
            Qt::BlockingQueuedConnection);
    }
    ~WatcherThread() {
        thread.quit();
        thread.wait();
    }

    Watcher watcher;

private:
    QThread thread;
    QDBusConnection bus =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("watcher"));
};

// The test's questions to the item, on a connection of their own, answered while the
// application's event loop runs.
QDBusMessage ask(const QDBusMessage& call) {
    static QDBusConnection bus =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("asking"));
    QDBusPendingCall pending = bus.asyncCall(call, 5000);
    // The reply comes by the end of the call's own time limit at the latest.
    while (!pending.isFinished()) {
        QTest::qWait(10);
    }
    return pending.reply();
}

QVariant itemProperty(const std::pair<QString, QString>& item, const QString& name) {
    QDBusMessage get = QDBusMessage::createMethodCall(
        item.first, item.second, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get << QStringLiteral("org.kde.StatusNotifierItem") << name;
    const QDBusMessage reply = ask(get);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        ADD_FAILURE() << "no property " << name.toStdString() << ": "
                      << reply.errorMessage().toStdString();
        return {};
    }
    return reply.arguments().first().value<QDBusVariant>().variant();
}

// ToolTip is (icon name, pixmaps, title, text).
QStringList toolTip(const QVariant& value) {
    const auto argument = value.value<QDBusArgument>();
    QString iconName, title, text;
    argument.beginStructure();
    argument >> iconName;
    argument.beginArray();
    while (!argument.atEnd()) {
        int width = 0, height = 0;
        QByteArray bytes;
        argument.beginStructure();
        argument >> width >> height >> bytes;
        argument.endStructure();
    }
    argument.endArray();
    argument >> title >> text;
    argument.endStructure();
    return {iconName, title, text};
}

// IconPixmap is [(width, height, ARGB bytes)]: all of its bytes.
QByteArray pixmaps(const QVariant& value) {
    const auto argument = value.value<QDBusArgument>();
    QByteArray all;
    argument.beginArray();
    while (!argument.atEnd()) {
        int width = 0, height = 0;
        QByteArray bytes;
        argument.beginStructure();
        argument >> width >> height >> bytes;
        argument.endStructure();
        all += bytes;
    }
    argument.endArray();
    return all;
}

struct AppRig {
    testing::ModelRig rig;
    std::unique_ptr<BridgeModel> model;
    std::unique_ptr<BridgeApp> app;

    void start(std::chrono::milliseconds patience) {
        QGuiApplication::setApplicationDisplayName(QStringLiteral("Setmara Bridge"));
        model = std::make_unique<BridgeModel>(rig.services());
        app = std::make_unique<BridgeApp>(
            *model, [] { return false; }, [](bool) {}, patience);
    }
};

TEST(TrayWithWatcher, ItemRegistersWithItsTipIconAndDropsTheWindowDown) {
    testing::needWidgets();
    ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "needs a session bus";
    // The watcher comes a moment after the application starts, as in a session starting up.
    AppRig bridge;
    bridge.start(3s);
    QTest::qWait(300);
    WatcherThread watcher;
    QTRY_VERIFY_WITH_TIMEOUT(bridge.app->inTray(), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!watcher.watcher.items().isEmpty(), 5000);
    const auto item = watcher.watcher.item();

    EXPECT_EQ(toolTip(itemProperty(item, QStringLiteral("ToolTip"))),
              (QStringList{"", "Setmara bridge", ""}));
    const QByteArray notConnected = pixmaps(itemProperty(item, QStringLiteral("IconPixmap")));
    EXPECT_FALSE(notConnected.isEmpty());

    BridgeStatus connected = bridge.model->status();
    connected.source = SourceState::connected;
    bridge.model->show(connected);
    QTRY_VERIFY_WITH_TIMEOUT(
        pixmaps(itemProperty(item, QStringLiteral("IconPixmap"))) != notConnected, 5000);
    BridgeStatus lost = connected;
    lost.source = SourceState::notAnswering;
    bridge.model->show(lost);
    QTRY_COMPARE_WITH_TIMEOUT(pixmaps(itemProperty(item, QStringLiteral("IconPixmap"))),
                              notConnected, 5000);

    BridgeWindow& window = bridge.app->statusWindow();
    EXPECT_FALSE(window.isVisible());
    QDBusMessage activate = QDBusMessage::createMethodCall(
        item.first, item.second, QStringLiteral("org.kde.StatusNotifierItem"),
        QStringLiteral("Activate"));
    activate << 200 << 10;
    ask(activate);
    QTRY_VERIFY_WITH_TIMEOUT(window.isVisible(), 5000);
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::Popup));
    const QRect available = window.screen()->availableGeometry();
    EXPECT_TRUE(available.contains(window.frameGeometry())) << "kept inside the screen";

    ask(activate);
    // A second click closes it.
    QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), 5000);
}

TEST(TrayWithoutWatcher, StatusWindowIsAnOrdinaryWindow) {
    testing::needWidgets();
    ASSERT_FALSE(QDBusConnection::sessionBus().interface()->isServiceRegistered(watcherName));
    AppRig bridge;
    bridge.start(200ms);
    QSignalSpy placed(bridge.app.get(), &BridgeApp::placed);
    ASSERT_TRUE(placed.wait(3000));
    EXPECT_FALSE(bridge.app->inTray());
    BridgeWindow& window = bridge.app->statusWindow();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.windowType(), Qt::Window);
    EXPECT_EQ(window.windowTitle(), "Setmara Bridge");
}

} // namespace
} // namespace bridge

#include "TrayTests.moc"
