#pragma once

#include <QWidget>

#include <functional>

class QCheckBox;
class QSpinBox;

namespace bridge {

class BridgeModel;
class HueLabel;
class PairCodeField;

// Whether the bridge starts with the desktop session; kept outside the settings, where the
// desktop reads it.
struct StartAtLogin {
    std::function<bool()> isOn;
    std::function<void(bool on)> set;
};

// Pairing, the share delay and starting at login.
class GeneralPane : public QWidget {
    Q_OBJECT

public:
    GeneralPane(BridgeModel& model, StartAtLogin startAtLogin, QWidget* parent = nullptr);

    // Puts the keyboard focus in the pair-code field.
    void focusCode();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void refresh();
    void showStartAtLogin();

    BridgeModel& model;
    StartAtLogin startAtLogin;
    HueLabel* pairedAs;
    PairCodeField* code;
    QSpinBox* countAfter;
    QCheckBox* startsAtLogin;
};

} // namespace bridge
