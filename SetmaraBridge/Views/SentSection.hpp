#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace bridge {

class BridgeModel;
class PlayRowView;
template <class View>
class RowList;

// The songs sent lately, each with its delivery state, and the two actions on the latest.
class SentSection : public QWidget {
public:
    SentSection(BridgeModel& model, QWidget* parent);

    void refresh();

private:
    BridgeModel& model;
    RowList<PlayRowView>* rows;
    QLabel* nothing;
    QPushButton* hide;
    QPushButton* takeBack;
};

} // namespace bridge
