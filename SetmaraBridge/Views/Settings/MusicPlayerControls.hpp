#pragma once

#include <QWidget>

class QComboBox;

namespace bridge {

class BridgeModel;

// "Player": the music player to read, chosen among those on the desktop now, by the names
// they give themselves; the one chosen stays in the list while it is not open.
class MusicPlayerControls : public QWidget {
    Q_OBJECT

public:
    MusicPlayerControls(BridgeModel& model, QWidget* parent);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void refresh();

    BridgeModel& model;
    QComboBox* players;
};

} // namespace bridge
