#include "App/BridgeApp.hpp"
#include "Desktop/AutostartEntry.hpp"
#include "Model/BridgeModel.hpp"
#include "Model/BridgeThread.hpp"
#include "Platform/Alerting.hpp"
#include "Platform/AppFolders.hpp"
#include "Platform/LinkOpening.hpp"
#include "Platform/MediaPlayerList.hpp"
#include "Platform/MprisClient.hpp"
#include "Platform/QtKeychainItems.hpp"
#include "Platform/RunningChecks.hpp"
#include "Platform/SingleInstance.hpp"

#include <QApplication>
#include <QDBusConnection>
#include <QSettings>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using namespace bridge;

BridgeModel::Services platformServices(const std::shared_ptr<Alerting>& alerts) {
    return BridgeModel::Services{
        .preferences =
            std::make_shared<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                        QStringLiteral("Setmara"), QStringLiteral("SetmaraBridge")),
        .secrets = std::make_shared<QtKeychainItems>(),
        .alerts = alerts,
        .openLink = desktopLinkOpener(),
        .openPrivacySettings = openPrivacySettings,
        .makeLoop =
            [](LoopControl::Show show) { return std::make_unique<BridgeThread>(std::move(show)); },
        .makeMediaPlayers =
            [] { return std::make_shared<MprisClient>(QDBusConnection::sessionBus()); },
        .makePlayerList =
            [] { return std::make_unique<MediaPlayerList>(QDBusConnection::sessionBus()); },
        .djayIsRunning = djayIsRunning,
        .mixxxIsRunning = mixxxIsRunning,
        .queueFile = queueFile(),
    };
}

// The autostart entry is a file of the desktop's; a failure to write it is told, not thrown.
std::function<void(bool)> autostartSwitch(std::shared_ptr<Alerting> alerts) {
    return [alerts](bool on) {
        try {
            setStartAtLogin(on);
        } catch (const std::runtime_error& failure) {
            alerts->show(Alert{.message = QStringLiteral("The bridge couldn’t change its start "
                                                         "at login"),
                               .informative = QString::fromStdString(failure.what()),
                               .buttons = {QStringLiteral("OK")}},
                         [](int) {});
        }
    };
}

int signalled[2] = {-1, -1}; // written by the signal handler, read by the event loop

// The session's end (SIGTERM) and Ctrl+C quit as the menu does, so the bridge thread stops
// in order instead of the process dying under it.
void quitOnSignals() {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalled) != 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(signalled[1], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] { QApplication::quit(); });
    struct sigaction action {};
    action.sa_handler = [](int) {
        const char byte = 1;
        [[maybe_unused]] const auto written = ::write(signalled[0], &byte, 1);
    };
    ::sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Setmara"));
    QApplication::setApplicationName(QStringLiteral("SetmaraBridge"));
    QApplication::setApplicationDisplayName(QStringLiteral("Setmara Bridge"));
    QApplication::setApplicationVersion(QStringLiteral(BRIDGE_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("app.setmara.Bridge"));
    QApplication::setQuitOnLastWindowClosed(false);

    // One bridge per user: a second start hands its link to the first and ends.
    const QString link = SingleInstance::linkArgument(QApplication::arguments());
    if (SingleInstance::handOver(link)) {
        return 0;
    }
    SingleInstance instance;
    instance.listen();
    quitOnSignals();

    // The Mac's launch also hides the Dock icon and empties the system's shared HTTP cache;
    // Linux has neither, and the transport keeps no cache of its own.
    const auto alerts = std::make_shared<MessageBoxAlerts>();
    BridgeModel model(platformServices(alerts));
    QObject::connect(&instance, &SingleInstance::linkReceived, &model, &BridgeModel::openLink);
    BridgeApp app(model, startsAtLogin, autostartSwitch(alerts));
    if (!link.isEmpty()) {
        QTimer::singleShot(0, &model, [&model, link] { model.openLink(link); });
    }
    return QApplication::exec();
}
