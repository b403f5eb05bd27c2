#pragma once

#include "Views/Settings/GeneralPane.hpp"

#include <QWidget>

#include <functional>

class QTabWidget;

namespace bridge {

class BridgeModel;

// The settings window: the General, Source and Advanced tabs. The selected tab is the
// model's; every control writes through the model.
class SettingsView : public QWidget {
    Q_OBJECT

public:
    // `startsAtLogin` says whether the bridge starts with the desktop session;
    // `setStartAtLogin` changes that.
    SettingsView(BridgeModel& model, std::function<bool()> startsAtLogin,
                 std::function<void(bool on)> setStartAtLogin, QWidget* parent = nullptr);

private:
    void showTab();
    void askForCode();

    BridgeModel& model;
    QTabWidget* tabs;
    GeneralPane* general;
};

} // namespace bridge
