#pragma once

#include <QWidget>

class QLabel;

namespace bridge {

class BridgeModel;
class DeckRowView;
class SectionHeader;
class StatusDot;
template <class View>
class RowList;

// The decks the source reads, under the source's status line, with the share delay's note.
class DecksSection : public QWidget {
public:
    DecksSection(BridgeModel& model, QWidget* parent);

    void refresh();

private:
    BridgeModel& model;
    SectionHeader* heading;
    StatusDot* source;
    RowList<DeckRowView>* rows;
    QLabel* noDecks;
    QLabel* shareNote;
};

} // namespace bridge
