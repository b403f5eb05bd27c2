#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace bridge {

class BridgeModel;
class PairCodeField;

// The two steps shown while the settings are not complete: pair, then say what it reads.
class SetupSteps : public QWidget {
    Q_OBJECT

public:
    explicit SetupSteps(BridgeModel& model, QWidget* parent = nullptr);

    PairCodeField& pairCodeField() const { return *field; }

Q_SIGNALS:
    // "Open Settings…": the settings window on its Source tab.
    void sourceWanted();

private:
    class StepSymbol;

    void refresh();

    BridgeModel& model;
    StepSymbol* pairedSymbol;
    QLabel* pairTitle;
    QWidget* pairHow;
    PairCodeField* field;
};

} // namespace bridge
