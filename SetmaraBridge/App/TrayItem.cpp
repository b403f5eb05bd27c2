#include "App/TrayItem.hpp"

#include "Model/BridgeModel.hpp"

#include <QSystemTrayIcon>

// Resources of a static library are kept only when something names them.
static void keepTrayIcons() {
    Q_INIT_RESOURCE(tray);
}

namespace bridge {

TrayItem::TrayItem(BridgeModel& model, QMenu* menu, QObject* parent)
    : QObject(parent), model(model), icon(new QSystemTrayIcon(this)) {
    connected = model.status().source == SourceState::connected;
    icon->setIcon(connected ? connectedIcon() : notConnectedIcon());
    icon->setToolTip(QStringLiteral("Setmara bridge"));
    icon->setContextMenu(menu);
    connect(icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason why) {
        if (why == QSystemTrayIcon::Trigger) {
            Q_EMIT clicked();
        }
    });
    connect(&model, &BridgeModel::statusChanged, this, &TrayItem::showStatus);
    icon->show();
}

TrayItem::~TrayItem() = default;

QIcon TrayItem::connectedIcon() {
    keepTrayIcons();
    return QIcon(QStringLiteral(":/tray/connected.svg"));
}

QIcon TrayItem::notConnectedIcon() {
    keepTrayIcons();
    return QIcon(QStringLiteral(":/tray/notConnected.svg"));
}

QRect TrayItem::geometry() const {
    return icon->geometry();
}

void TrayItem::showStatus() {
    const bool now = model.status().source == SourceState::connected;
    // Only a change of state sends the desktop a new icon.
    if (now != connected) {
        connected = now;
        icon->setIcon(connected ? connectedIcon() : notConnectedIcon());
    }
}

} // namespace bridge
