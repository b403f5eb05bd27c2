#pragma once

#include <QIcon>
#include <QObject>
#include <QRect>

class QMenu;
class QSystemTrayIcon;

namespace bridge {

class BridgeModel;

// The bridge's item in the desktop's tray: its icon says whether the source is connected.
class TrayItem : public QObject {
    Q_OBJECT

public:
    TrayItem(BridgeModel& model, QMenu* menu, QObject* parent = nullptr);
    ~TrayItem() override;

    static QIcon connectedIcon();
    static QIcon notConnectedIcon();

    // The icon's place on the screen; invalid where the desktop does not tell it.
    QRect geometry() const;

Q_SIGNALS:
    // The DJ clicked the item.
    void clicked();

private:
    void showStatus();

    BridgeModel& model;
    QSystemTrayIcon* icon;
    bool connected = false;
};

} // namespace bridge
