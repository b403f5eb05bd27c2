#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;

namespace bridge {

class BridgeModel;
class CommitField;

// Another Setmara server, and the bridge key by hand.
class AdvancedPane : public QWidget {
    Q_OBJECT

public:
    explicit AdvancedPane(BridgeModel& model, QWidget* parent = nullptr);

private:
    void refresh();
    void setKey(const QString& key);

    BridgeModel& model;
    QCheckBox* advanced;
    QLabel* serverLabel;
    CommitField* server;
    CommitField* key;
};

} // namespace bridge
