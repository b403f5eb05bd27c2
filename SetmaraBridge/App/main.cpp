#include "App/BridgeApp.hpp"
#include "Desktop/AutostartEntry.hpp"
#include "Model/BridgeModel.hpp"
#include "Model/BridgeThread.hpp"
#include "Platform/Alerting.hpp"
#include "Platform/AppFolders.hpp"
#include "Platform/LinkOpening.hpp"
#include "Platform/MprisScriptRunner.hpp"
#include "Platform/QtKeychainItems.hpp"
#include "Platform/RunningChecks.hpp"
#include "Platform/SingleInstance.hpp"

#include <QApplication>
#include <QDBusConnection>
#include <QSettings>
#include <QTimer>
#include <QUrl>

namespace {

using namespace bridge;

// A link the desktop started the program with, to pair by.
QString linkArgument(const QStringList& arguments) {
    if (arguments.size() == 2 && arguments[1].startsWith(QStringLiteral("setmara-bridge:"))) {
        return arguments[1];
    }
    return {};
}

BridgeModel::Services platformServices() {
    return BridgeModel::Services{
        .preferences =
            std::make_shared<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                        QStringLiteral("Setmara"), QStringLiteral("SetmaraBridge")),
        .secrets = std::make_shared<QtKeychainItems>(),
        .alerts = std::make_shared<MessageBoxAlerts>(),
        .openLink = desktopLinkOpener(),
        .openPrivacySettings = openPrivacySettings,
        .makeLoop =
            [](LoopControl::Show show) { return std::make_unique<BridgeThread>(std::move(show)); },
        .makeSpotifyRunner =
            [] { return std::make_shared<MprisScriptRunner>(QDBusConnection::sessionBus()); },
        .djayIsRunning = djayIsRunning,
        .mixxxIsRunning = mixxxIsRunning,
        .queueFile = queueFile(),
    };
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
    const QString link = linkArgument(QApplication::arguments());
    if (SingleInstance::handOver(link)) {
        return 0;
    }
    SingleInstance instance;
    instance.listen();

    // The Mac's launch also hides the Dock icon and empties the system's shared HTTP cache;
    // Linux has neither, and the transport keeps no cache of its own.
    BridgeModel model(platformServices());
    QObject::connect(&instance, &SingleInstance::linkReceived, &model, &BridgeModel::openLink);
    BridgeApp app(model, startsAtLogin, setStartAtLogin);
    if (!link.isEmpty()) {
        QTimer::singleShot(0, &model, [&model, link] { model.openLink(QUrl(link)); });
    }
    return QApplication::exec();
}
