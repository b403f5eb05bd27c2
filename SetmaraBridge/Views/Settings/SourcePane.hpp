#pragma once

#include "Values/Source.hpp"

#include <QString>
#include <QWidget>

#include <array>

class QComboBox;
class QLabel;
class QPushButton;

namespace bridge {

class BridgeModel;
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
    std::array<QWidget*, Source::all.size()> controls{}; // each source's own, where it has any
    QLabel* status;
    QPushButton* privacy = nullptr; // only where the platform has privacy settings
};

} // namespace bridge
