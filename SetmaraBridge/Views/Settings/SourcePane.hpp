#pragma once

#include "Engine/Source.hpp"

#include <QString>
#include <QWidget>

class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace bridge {

class BridgeModel;
class CommitField;
class SectionHeader;

// What the bridge reads, how it reaches it, and how that goes.
class SourcePane : public QWidget {
    Q_OBJECT

public:
    explicit SourcePane(BridgeModel& model, QWidget* parent = nullptr);

    // The label of the source in the picker.
    static QString choice(Source source);
    // The help text of the source's section.
    static QString help(Source source);

private:
    void refresh();
    void showStatus();

    BridgeModel& model;
    QComboBox* reads;
    SectionHeader* heading;
    QLabel* helpText;
    QWidget* virtualDJ;
    CommitField* port;
    CommitField* password;
    QSpinBox* decks;
    QLabel* status;
    QPushButton* privacy = nullptr; // only where the platform has privacy settings
};

} // namespace bridge
