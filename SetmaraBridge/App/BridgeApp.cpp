#include "App/BridgeApp.hpp"

#include "App/TrayItem.hpp"
#include "App/TrayPopup.hpp"
#include "App/TrayWatch.hpp"
#include "Views/BridgeWindow.hpp"
#include "Views/Settings/SettingsView.hpp"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QEvent>
#include <QGuiApplication>

namespace bridge {

BridgeApp::BridgeApp(BridgeModel& model, std::function<bool()> startsAtLogin,
                     std::function<void(bool on)> setStartAtLogin,
                     std::chrono::milliseconds trayPatience, QObject* parent)
    : QObject(parent), model(model),
      settings(std::make_unique<SettingsView>(model, std::move(startsAtLogin),
                                              std::move(setStartAtLogin))),
      window(std::make_unique<BridgeWindow>(model)) {
    connect(window.get(), &BridgeWindow::settingsWanted, this, &BridgeApp::openSettings);
    connect(window.get(), &BridgeWindow::quitWanted, this, &BridgeApp::quit);
    settings->setWindowFlag(Qt::Window);
    whenTrayKnown(QDBusConnection::sessionBus(), trayPatience, this,
                  [this](bool hasTray) { place(hasTray); });
}

BridgeApp::~BridgeApp() = default;

void BridgeApp::place(bool hasTray) {
    if (hasTray) {
        popup = std::make_unique<TrayPopup>(*window);
        tray = std::make_unique<TrayItem>(model, window->menu());
        connect(tray.get(), &TrayItem::clicked, this, &BridgeApp::toggleStatusWindow);
    } else {
        window->setWindowTitle(QGuiApplication::applicationDisplayName());
        window->installEventFilter(this);
        window->show();
    }
    Q_EMIT placed(hasTray);
}

void BridgeApp::openSettings(SettingsTab tab, bool askingForCode) {
    if (popup != nullptr) {
        window->close();
    }
    model.setSettingsTab(askingForCode ? SettingsTab::general : tab);
    model.setAskingForCode(askingForCode);
    settings->adjustSize();
    settings->show();
    settings->raise();
    settings->activateWindow();
}

void BridgeApp::toggleStatusWindow() {
    if (popup != nullptr) {
        popup->toggle(tray->geometry());
    }
}

void BridgeApp::quit() {
    QCoreApplication::quit();
}

bool BridgeApp::eventFilter(QObject* watched, QEvent* event) {
    // Without a tray the status window is the application: closing it quits.
    if (watched == window.get() && event->type() == QEvent::Close) {
        quit();
    }
    return QObject::eventFilter(watched, event);
}

} // namespace bridge
