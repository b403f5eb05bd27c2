#include "Views/Settings/SourcePane.hpp"

#include "Model/BridgeModel.hpp"
#include "Platform/QtText.hpp"
#include "Views/Look.hpp"
#include "Views/Settings/PaneParts.hpp"
#include "Views/Settings/SourceSections.hpp"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace bridge {

using namespace PaneParts;

QString SourcePane::choice(Source source) {
    return qText(source.choice());
}

QString SourcePane::help(Source source) {
    return qText(source.help());
}

SourcePane::SourcePane(BridgeModel& model, QWidget* parent)
    : QWidget(parent), model(model), reads(new QComboBox(this)), heading(nullptr),
      helpText(paragraph({}, QStringLiteral("sourceHelp"), this)), status(new QLabel(this)) {
    auto* layout = new QVBoxLayout(this);

    auto* picker = new QFormLayout;
    reads->setObjectName(QStringLiteral("reads"));
    reads->setAccessibleName(QStringLiteral("Reads"));
    for (const Source::Case source : Source::all) {
        reads->addItem(choice(source));
    }
    picker->addRow(QStringLiteral("Reads"), reads);
    layout->addLayout(picker);

    const Section chosen = section({}, QStringLiteral("chosenSource"), this);
    heading = chosen.header;
    // Above the rows rather than in them: a form row sizes a wrapped text chosen while the
    // window is open a line short.
    chosen.group->insertWidget(0, helpText);
    for (std::size_t i = 0; i < Source::all.size(); ++i) {
        controls[i] = sourceControls(Source::all[i], model, chosen.widget);
        if (controls[i] != nullptr) {
            chosen.rows->addRow(controls[i]);
        }
    }
    layout->addWidget(chosen.widget);

    auto* statusRow = new QHBoxLayout;
    statusRow->addWidget(new QLabel(QStringLiteral("Status"), this));
    status->setObjectName(QStringLiteral("sourceStatus"));
    status->setTextFormat(Qt::PlainText);
    statusRow->addWidget(status, 1);
    if constexpr (Wording::hasPrivacySettings) {
        privacy = new QPushButton(QStringLiteral("Open Privacy & Security…"), this);
        privacy->setObjectName(QStringLiteral("privacy"));
        connect(privacy, &QPushButton::clicked, this,
                [this] { this->model.openPrivacySettings(); });
        statusRow->addWidget(privacy);
    }
    layout->addLayout(statusRow);

    layout->addWidget(note(QStringLiteral("The bridge only asks or reads what plays. It never "
                                          "controls ") +
                               qText(Source::controlled()) + QStringLiteral("."),
                           this));
    layout->addStretch();

    connect(reads, &QComboBox::activated, this, [this](int index) {
        const Source source = Source::all.at(static_cast<std::size_t>(index));
        this->model.update([source](BridgeSettings& s) { s.source = source; });
    });
    connect(&model, &BridgeModel::settingsChanged, this, &SourcePane::refresh);
    connect(&model, &BridgeModel::statusChanged, this, &SourcePane::showStatus);
    refresh();
}

void SourcePane::refresh() {
    const Source source = model.settings().source;
    const QSignalBlocker quietReads(reads);
    reads->setCurrentIndex(static_cast<int>(source));
    const QString title = qText(source.entry().heading);
    heading->setTitle(title);
    heading->setVisible(!title.isEmpty());
    helpText->setText(help(source));
    for (std::size_t i = 0; i < Source::all.size(); ++i) {
        if (controls[i] != nullptr) {
            controls[i]->setVisible(Source::all[i] == source);
        }
    }
    showStatus();
}

void SourcePane::showStatus() {
    const Source source = model.settings().source;
    const SourceState state = model.status().source;
    status->setText(qText(source.shortStatus(state, model.isComplete(), model.settings().playerName,
                                             model.status().network)));
    if (privacy != nullptr) {
        privacy->setVisible(state == SourceState::notAllowed && source.privacyPane());
    }
}

} // namespace bridge
