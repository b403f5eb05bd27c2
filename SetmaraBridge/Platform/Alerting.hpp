#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace bridge {

// A modal question or message. The first button has the default look unless `returnButton`
// names another; a button has no key of its own ('&' is shown as it is).
struct Alert {
    QString message;
    QString informative;
    QStringList buttons;
    int returnButton = -1; // index that Return or Enter triggers; -1: the first
    int escapeButton = -1; // index that Escape or closing the alert chooses; -1: the last
};

// Shows alerts with the application brought to the front and answers later, without a nested
// event loop: `answered` gets the index of the chosen button (-1 when there were none).
class Alerting {
public:
    virtual ~Alerting() = default;
    virtual void show(const Alert& alert, std::function<void(int chosen)> answered) = 0;
};

// Alerts as application-modal message boxes; each box deletes itself once answered.
class MessageBoxAlerts : public Alerting {
public:
    void show(const Alert& alert, std::function<void(int chosen)> answered) override;
};

} // namespace bridge
