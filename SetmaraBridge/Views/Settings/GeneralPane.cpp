#include "Views/Settings/GeneralPane.hpp"

#include "Model/BridgeModel.hpp"
#include "Platform/QtText.hpp"
#include "Server/SettingsRules.hpp"
#include "Values/Wording.hpp"
#include "Views/Look.hpp"
#include "Views/PairCodeField.hpp"
#include "Views/Settings/PaneParts.hpp"

#include <QCheckBox>
#include <QFormLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

namespace bridge {

using namespace PaneParts;

GeneralPane::GeneralPane(BridgeModel& model, StartAtLogin startAtLogin, QWidget* parent)
    : QWidget(parent), model(model), startAtLogin(std::move(startAtLogin)),
      pairedAs(new HueLabel({}, Look::Hue::ok, this)),
      code(new PairCodeField(model, QStringLiteral("Pair"), false, this)),
      countAfter(new QSpinBox(this)),
      startsAtLogin(new QCheckBox(QStringLiteral("Start at login"), this)) {
    auto* layout = new QVBoxLayout(this);

    const Section pairing = section(QStringLiteral("Pairing"), QStringLiteral("pairing"), this);
    layout->addWidget(pairing.widget);
    QFormLayout* pairingRows = pairing.rows;
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

    const Section sharing = section(QStringLiteral("Sharing"), QStringLiteral("sharing"), this);
    layout->addWidget(sharing.widget);
    QFormLayout* sharingRows = sharing.rows;
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
    code->focusCode();
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
        pairedAs->setHue(Look::Hue::secondary);
        code->setButtonText(QStringLiteral("Pair"));
    } else {
        pairedAs->setText(settings.pairedAs.empty()
                              ? qText(Wording::shown(Wording::thisComputerCapital))
                              : qText(settings.pairedAs));
        pairedAs->setHue(Look::Hue::ok);
        code->setButtonText(QStringLiteral("Pair again with code"));
    }
    const QSignalBlocker quiet(countAfter);
    countAfter->setValue(settings.countAfter);
}

void GeneralPane::showStartAtLogin() {
    const QSignalBlocker quiet(startsAtLogin);
    startsAtLogin->setChecked(startAtLogin.isOn());
}

} // namespace bridge
