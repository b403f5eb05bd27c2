#pragma once

#include "Model/BridgeModel.hpp"

#include <QWidget>

class QMenu;

namespace bridge {

class DecksSection;
class GigSection;
class SentSection;
class SetupSteps;

// The status window: the header with its menu, then the setup steps while the settings are
// not complete, else the gig, the decks and the songs sent lately. Reads the model and calls
// its actions; what only the application can do (show the settings window, quit) it asks
// for by its signals.
class BridgeWindow : public QWidget {
    Q_OBJECT

public:
    explicit BridgeWindow(BridgeModel& model, QWidget* parent = nullptr);
    ~BridgeWindow() override;

    // The header's menu, for the tray item to show as its context menu too.
    QMenu* menu() const { return menu_; }

    bool showingQR() const;
    bool confirmingEnd() const;

Q_SIGNALS:
    // Show the settings window. The model's settings tab and askingForCode are already set
    // to `tab` and `askingForCode` when this is sent.
    void settingsWanted(bridge::SettingsTab tab, bool askingForCode);
    void quitWanted();

protected:
    bool event(QEvent* event) override;

private:
    QWidget* header();
    void wantSettings(SettingsTab tab, bool askingForCode);
    void refresh();
    // The height the content needs, when this is a window of its own.
    void fit();

    BridgeModel& model;
    QMenu* menu_;
    SetupSteps* setup;
    GigSection* gig;
    DecksSection* decks;
    SentSection* sent;
};

} // namespace bridge
