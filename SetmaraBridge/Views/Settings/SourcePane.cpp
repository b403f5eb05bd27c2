#include "Views/Settings/SourcePane.hpp"

#include "Engine/Wording.hpp"
#include "Model/BridgeModel.hpp"
#include "Platform/QtText.hpp"
#include "Server/SettingsRules.hpp"
#include "Views/Look.hpp"
#include "Views/Settings/CommitField.hpp"
#include "Views/Settings/PaneParts.hpp"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

namespace bridge {

using namespace PaneParts;

namespace {

constexpr int highestPort = 65535;

// A whole port number, or absent.
std::optional<int> portIn(const QString& typed) {
    bool whole = false;
    const int port = typed.trimmed().toInt(&whole);
    if (!whole || port < 1 || port > highestPort) {
        return std::nullopt;
    }
    return port;
}

} // namespace

QString SourcePane::choice(Source source) {
    if (source == Source::spotify) {
        return qText(Wording::shown(Wording::spotifyChoice));
    }
    return qText(source.name());
}

QString SourcePane::help(Source source) {
    switch (source) {
    case Source::virtualDJ:
        return QStringLiteral(
            "Needs VirtualDJ Pro (2023 or later).\n1. Config › Extensions › Effects › Other: "
            "install Network Control.\n2. Master panel › Master Effect › Auto-Start: choose "
            "Network Control.\n3. Its cog sets a port (not your broadcast port) and a password. "
            "Put both here.");
    case Source::spotify:
        return qText(Wording::shown(Wording::spotifyHelp));
    case Source::djay:
        return qText(Wording::shown(Wording::djayHelp));
    case Source::mixxx:
        return qText(Wording::shown(Wording::mixxxHelp));
    case Source::whatsNowPlaying:
        return QStringLiteral(
            "For Serato, Traktor, rekordbox, Engine DJ and others: run What’s Now Playing "
            "(https://whatsnowplaying.github.io) on this computer, with the program you play "
            "from. Leave its web server on (port 8899, as it starts) and its Artist Extras off: "
            "the bridge asks it what plays every 2 seconds and doesn’t need its pictures.");
    case Source::denon:
        return qText(Wording::shown(Wording::denonHelp));
    }
    return {};
}

SourcePane::SourcePane(BridgeModel& model, QWidget* parent)
    : QWidget(parent), model(model), reads(new QComboBox(this)), heading(nullptr),
      helpText(paragraph({}, QStringLiteral("sourceHelp"), this)), virtualDJ(new QWidget(this)),
      port(new CommitField(
          QStringLiteral("Port"), false, QStringLiteral("8080"),
          [this](const QString& typed) {
              if (const auto number = portIn(typed)) {
                  this->model.update([&](BridgeSettings& s) { s.vdjPort = *number; });
              }
          },
          virtualDJ)),
      password(new CommitField(
          QStringLiteral("Password"), true, {},
          [this](const QString& typed) {
              this->model.update([&](BridgeSettings& s) { s.vdjPassword = typed.toStdString(); });
          },
          virtualDJ)),
      decks(new QSpinBox(virtualDJ)), status(new QLabel(this)) {
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
    chosen.rows->addRow(helpText);
    auto* connection = new QFormLayout(virtualDJ);
    connection->setContentsMargins({});
    connection->addRow(port->label(), port);
    connection->addRow(password->label(), password);
    decks->setObjectName(QStringLiteral("Decks"));
    decks->setRange(SettingsRules::fewestDecks, SettingsRules::mostDecks);
    decks->setKeyboardTracking(false);
    connection->addRow(QStringLiteral("Decks"), decks);
    chosen.rows->addRow(virtualDJ);
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
                                          "controls VirtualDJ, Spotify, djay, Mixxx, What’s Now "
                                          "Playing or Denon DJ players."),
                           this));
    layout->addStretch();

    connect(reads, &QComboBox::activated, this, [this](int index) {
        const Source source = Source::all.at(static_cast<std::size_t>(index));
        this->model.update([source](BridgeSettings& s) { s.source = source; });
    });
    connect(decks, &QSpinBox::valueChanged, this, [this](int count) {
        this->model.update([count](BridgeSettings& s) { s.decks = count; });
    });
    connect(&model, &BridgeModel::settingsChanged, this, &SourcePane::refresh);
    connect(&model, &BridgeModel::statusChanged, this, &SourcePane::showStatus);
    refresh();
}

void SourcePane::refresh() {
    const BridgeSettings& settings = model.settings();
    const QSignalBlocker quietReads(reads);
    reads->setCurrentIndex(static_cast<int>(settings.source));
    const bool isVirtualDJ = settings.source == Source::virtualDJ;
    heading->setTitle(isVirtualDJ ? QStringLiteral("VirtualDJ · Network Control") : QString());
    heading->setVisible(isVirtualDJ);
    helpText->setText(help(settings.source));
    virtualDJ->setVisible(isVirtualDJ);
    port->setCommitted(QString::number(settings.vdjPort));
    password->setCommitted(qText(settings.vdjPassword));
    const QSignalBlocker quietDecks(decks);
    decks->setValue(settings.decks);
    showStatus();
}

void SourcePane::showStatus() {
    const Source source = model.settings().source;
    const SourceState state = model.status().source;
    status->setText(qText(source.shortStatus(state, model.isComplete())));
    if (privacy != nullptr) {
        privacy->setVisible(state == SourceState::notAllowed && source.privacyPane());
    }
}

} // namespace bridge
