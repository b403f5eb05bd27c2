#include "Platform/Alerting.hpp"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>
#include <vector>

namespace bridge {
namespace {

int indexOr(int index, int fallback, qsizetype count) {
    return index >= 0 && index < count ? index : fallback;
}

} // namespace

void MessageBoxAlerts::show(const Alert& alert, std::function<void(int chosen)> answered) {
    auto* box = new QMessageBox();
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setText(alert.message);
    box->setInformativeText(alert.informative);

    const qsizetype count = alert.buttons.size();
    const int returnIndex = indexOr(alert.returnButton, 0, count);
    const int escapeIndex = indexOr(alert.escapeButton, static_cast<int>(count) - 1, count);
    std::vector<QPushButton*> buttons;
    for (qsizetype i = 0; i < count; ++i) {
        // A doubled '&' is a plain '&', so no button gets a key of its own.
        QString text = alert.buttons[i];
        QPushButton* button = box->addButton(text.replace('&', "&&"), QMessageBox::ActionRole);
        // Only the Return button may take Return, even while another has the focus.
        button->setAutoDefault(i == returnIndex);
        buttons.push_back(button);
    }
    if (count > 0) {
        box->setDefaultButton(buttons[returnIndex]);
        box->setEscapeButton(buttons[escapeIndex]);
    }

    // Closing the window may leave no clicked button: that is the escape answer.
    QObject::connect(
        box, &QMessageBox::finished, box,
        [box, buttons = std::move(buttons), escapeIndex, answered = std::move(answered)] {
            const auto found = std::find(buttons.begin(), buttons.end(), box->clickedButton());
            answered(found == buttons.end() ? escapeIndex
                                            : static_cast<int>(found - buttons.begin()));
        });

    // open() would make it window-modal, which blocks nothing for a box without a parent.
    box->setWindowModality(Qt::ApplicationModal);
    box->show();
    box->raise();
    box->activateWindow();
    QApplication::setActiveWindow(box);
}

} // namespace bridge
