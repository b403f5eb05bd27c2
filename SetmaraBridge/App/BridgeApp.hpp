#pragma once

#include "Model/BridgeModel.hpp"

#include <QObject>

#include <chrono>
#include <functional>
#include <memory>

namespace bridge {

class BridgeWindow;
class SettingsView;
class TrayItem;
class TrayPopup;

// The application's surfaces: the tray item with the status window that drops down from it
// (or, on a desktop without a tray, the status window as an ordinary window whose closing
// quits), and the settings window. The model is made and kept by the caller.
class BridgeApp : public QObject {
    Q_OBJECT

public:
    // `startsAtLogin` and `setStartAtLogin` read and change whether the bridge starts with the
    // desktop session. A tray that is not there yet is waited for `trayPatience`.
    BridgeApp(BridgeModel& model, std::function<bool()> startsAtLogin,
              std::function<void(bool on)> setStartAtLogin,
              std::chrono::milliseconds trayPatience = std::chrono::seconds(3),
              QObject* parent = nullptr);
    ~BridgeApp() override;

    // Opens the settings window on `tab`, raised; asking for a code opens it on General with
    // the pair-code field focused.
    void openSettings(SettingsTab tab, bool askingForCode);
    // Drops the status window down from the tray item, or closes it.
    void toggleStatusWindow();
    void quit();

    BridgeWindow& statusWindow() const { return *window; }
    SettingsView& settingsWindow() const { return *settings; }
    // Known once `placed` was signalled.
    bool inTray() const { return tray != nullptr; }

Q_SIGNALS:
    // The bridge went into the tray, or showed its status window as an ordinary window.
    void placed(bool inTray);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void place(bool hasTray);

    BridgeModel& model;
    std::unique_ptr<SettingsView> settings;
    std::unique_ptr<BridgeWindow> window;
    std::unique_ptr<TrayPopup> popup;
    std::unique_ptr<TrayItem> tray;
};

} // namespace bridge
