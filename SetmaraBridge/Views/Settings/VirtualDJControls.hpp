#pragma once

#include <QWidget>

class QSpinBox;

namespace bridge {

class BridgeModel;
class CommitField;

// How the bridge reaches VirtualDJ's Network Control: its port and password, and the decks
// to follow.
class VirtualDJControls : public QWidget {
    Q_OBJECT

public:
    VirtualDJControls(BridgeModel& model, QWidget* parent);

private:
    void refresh();

    BridgeModel& model;
    CommitField* port;
    CommitField* password;
    QSpinBox* decks;
};

} // namespace bridge
