#include "Views/Settings/GeneralPane.hpp"

#include "Engine/Wording.hpp"
#include "Model/BridgeModel.hpp"
#include "Server/SettingsRules.hpp"
#include "Views/Look.hpp"
#include "Views/PairCodeField.hpp"
#include "Views/Settings/PaneParts.hpp"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

namespace bridge {

using namespace PaneParts;

GeneralPane::GeneralPane(BridgeModel& model, StartAtLogin startAtLogin, QWidget* parent)
    : QWidget(parent), model(model), startAtLogin(std::move(startAtLogin)),
      pairedAs(new QLabel(this)), code(new PairCodeField(model, false, this)),
      countAfter(new QSpinBox(this)),
      startsAtLogin(new QCheckBox(QStringLiteral("Start at login"), this)) {
    auto* layout = new QVBoxLayout(this);

    QFormLayout* pairingRows = nullptr;
    layout->addWidget(section(QStringLiteral("Pairing"), pairingRows, this));
    pairedAs->setObjectName(QStringLiteral("pairedAs"));
    pairedAs->setTextFormat(Qt::PlainText);
    pairingRows->addRow(QStringLiteral("Paired as"), pairedAs);
    pairingRows->addRow(code);
    pairingRows->addRow(note(
        QStringLiteral("In Setmara: Gigs › Bridges › Pair a bridge. Playing back to back in "
                       "another DJ’s gig: they make the code in Gigs › their live gig › Back to "
                       "back. A code works once, for 15 minutes; a pairing link they send opens "
                       "the bridge with it. Pairing again replaces the key the bridge has now."),
        this));

    QFormLayout* sharingRows = nullptr;
    layout->addWidget(section(QStringLiteral("Sharing"), sharingRows, this));
    countAfter->setObjectName(QStringLiteral("countAfter"));
    countAfter->setRange(SettingsRules::shortestDelay, SettingsRules::longestDelay);
    countAfter->setSingleStep(5);
    countAfter->setSuffix(QStringLiteral(" seconds"));
    countAfter->setKeyboardTracking(false);
    sharingRows->addRow(QStringLiteral("Share a song after"), countAfter);
    sharingRows->addRow(note(QStringLiteral("A song on air for less than this (a false start, a "
                                            "quick mix out) isn’t sent."),
                             this));
    startsAtLogin->setObjectName(QStringLiteral("startAtLogin"));
    sharingRows->addRow(startsAtLogin);
    sharingRows->addRow(
        note(QStringLiteral("The bridge starts with your desktop session, in the tray."), this));
    layout->addStretch();

    connect(countAfter, &QSpinBox::valueChanged, this, [this](int seconds) {
        this->model.update([seconds](BridgeSettings& s) { s.countAfter = seconds; });
    });
    connect(startsAtLogin, &QCheckBox::toggled, this, [this](bool on) {
        this->startAtLogin.set(on);
        showStartAtLogin();
    });
    connect(&model, &BridgeModel::settingsChanged, this, &GeneralPane::refresh);
    refresh();
    showStartAtLogin();
}

void GeneralPane::focusCode() {
    code->setFocus(Qt::OtherFocusReason);
}

void GeneralPane::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The entry may have changed outside the bridge while the window was closed.
    showStartAtLogin();
}

void GeneralPane::refresh() {
    const BridgeSettings& settings = model.settings();
    if (settings.key.empty()) {
        pairedAs->setText(QStringLiteral("Not yet"));
        pairedAs->setForegroundRole(QPalette::PlaceholderText);
    } else {
        pairedAs->setText(settings.pairedAs.empty()
                              ? qText(Wording::shown(Wording::thisComputerCapital))
                              : QString::fromStdString(settings.pairedAs));
        QPalette palette = pairedAs->palette();
        palette.setColor(QPalette::WindowText, Look::ok(palette));
        pairedAs->setPalette(palette);
        pairedAs->setForegroundRole(QPalette::WindowText);
    }
    const QSignalBlocker quiet(countAfter);
    countAfter->setValue(settings.countAfter);
}

void GeneralPane::showStartAtLogin() {
    const QSignalBlocker quiet(startsAtLogin);
    startsAtLogin->setChecked(startAtLogin.isOn());
}

} // namespace bridge
