#include "Views/Settings/VirtualDJControls.hpp"

#include "Model/BridgeModel.hpp"
#include "Platform/QtText.hpp"
#include "Server/SettingsRules.hpp"
#include "Views/Settings/CommitField.hpp"

#include <QFormLayout>
#include <QSignalBlocker>
#include <QSpinBox>

#include <optional>

namespace bridge {

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

VirtualDJControls::VirtualDJControls(BridgeModel& model, QWidget* parent)
    : QWidget(parent), model(model),
      port(new CommitField(
          QStringLiteral("Port"), false, QStringLiteral("8080"),
          [this](const QString& typed) {
              if (const auto number = portIn(typed)) {
                  this->model.update([&](BridgeSettings& s) { s.vdjPort = *number; });
              }
          },
          this)),
      password(new CommitField(
          QStringLiteral("Password"), true, {},
          [this](const QString& typed) {
              this->model.update([&](BridgeSettings& s) { s.vdjPassword = typed.toStdString(); });
          },
          this)),
      decks(new QSpinBox(this)) {
    auto* connection = new QFormLayout(this);
    connection->setContentsMargins({});
    connection->addRow(port->label(), port);
    connection->addRow(password->label(), password);
    decks->setObjectName(QStringLiteral("Decks"));
    decks->setRange(SettingsRules::fewestDecks, SettingsRules::mostDecks);
    decks->setKeyboardTracking(false);
    connection->addRow(QStringLiteral("Decks"), decks);

    connect(decks, &QSpinBox::valueChanged, this, [this](int count) {
        this->model.update([count](BridgeSettings& s) { s.decks = count; });
    });
    connect(&model, &BridgeModel::settingsChanged, this, &VirtualDJControls::refresh);
    refresh();
}

void VirtualDJControls::refresh() {
    const BridgeSettings& settings = model.settings();
    port->setCommitted(QString::number(settings.vdjPort));
    password->setCommitted(qText(settings.vdjPassword));
    const QSignalBlocker quiet(decks);
    decks->setValue(settings.decks);
}

} // namespace bridge
