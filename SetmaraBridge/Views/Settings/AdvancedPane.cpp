#include "Views/Settings/AdvancedPane.hpp"

#include "Model/BridgeModel.hpp"
#include "Platform/QtText.hpp"
#include "Server/PairingRules.hpp"
#include "Values/Wording.hpp"
#include "Views/Settings/CommitField.hpp"
#include "Views/Settings/PaneParts.hpp"

#include <QCheckBox>
#include <QClipboard>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace bridge {

using namespace PaneParts;

AdvancedPane::AdvancedPane(BridgeModel& model, QWidget* parent)
    : QWidget(parent), model(model),
      advanced(new QCheckBox(QStringLiteral("Use another Setmara server"), this)),
      serverLabel(new QLabel(QStringLiteral("Server"), this)),
      server(new CommitField(
          QStringLiteral("Server"), false, qText(Pairing::defaultServer),
          [this](const QString& typed) {
              this->model.update([&](BridgeSettings& s) { s.serverURL = typed.toStdString(); });
          },
          this)),
      key(new CommitField(
          QStringLiteral("Key"), true, {}, [this](const QString& typed) { setKey(typed); }, this)) {
    auto* layout = new QVBoxLayout(this);

    const Section another = section({}, QStringLiteral("anotherServer"), this);
    layout->addWidget(another.widget);
    QFormLayout* serverRows = another.rows;
    advanced->setObjectName(QStringLiteral("advanced"));
    serverRows->addRow(advanced);
    serverRows->addRow(serverLabel, server);
    serverRows->addRow(note(qText(Wording::shown(Wording::advancedNote)), this));

    const Section bridgeKey =
        section(QStringLiteral("Bridge key"), QStringLiteral("bridgeKey"), this);
    layout->addWidget(bridgeKey.widget);
    QFormLayout* keyRows = bridgeKey.rows;
    auto* keyRow = new QHBoxLayout;
    keyRow->addWidget(key, 1);
    auto* paste = new QPushButton(QStringLiteral("Paste"), this);
    paste->setObjectName(QStringLiteral("paste"));
    keyRow->addWidget(paste);
    keyRows->addRow(key->label(), keyRow);
    keyRows->addRow(note(qText(Wording::shown(Wording::bridgeKeyNote)), this));
    layout->addStretch();

    connect(advanced, &QCheckBox::toggled, this,
            [this](bool on) { this->model.update([on](BridgeSettings& s) { s.advanced = on; }); });
    connect(paste, &QPushButton::clicked, this, [this] {
        // A key copied from a page or a terminal often ends in a line break.
        const QString copied = QGuiApplication::clipboard()->text().trimmed();
        if (!copied.isEmpty()) {
            setKey(copied);
        }
    });
    connect(&model, &BridgeModel::settingsChanged, this, &AdvancedPane::refresh);
    refresh();
}

void AdvancedPane::setKey(const QString& typed) {
    model.update([&](BridgeSettings& s) { s.key = typed.trimmed().toStdString(); });
}

void AdvancedPane::refresh() {
    const BridgeSettings& settings = model.settings();
    const QSignalBlocker quiet(advanced);
    advanced->setChecked(settings.advanced);
    serverLabel->setVisible(settings.advanced);
    server->setVisible(settings.advanced);
    server->setCommitted(qText(settings.serverURL));
    key->setCommitted(qText(settings.key));
}

} // namespace bridge
