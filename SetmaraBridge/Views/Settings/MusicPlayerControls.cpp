#include "Views/Settings/MusicPlayerControls.hpp"

#include "Model/BridgeModel.hpp"
#include "Platform/MediaPlayerList.hpp"
#include "Platform/QtText.hpp"

#include <QComboBox>
#include <QFormLayout>
#include <QSignalBlocker>

namespace bridge {

namespace {

// What an item of the picker stands for.
constexpr int busNameRole = Qt::UserRole;
constexpr int identityRole = Qt::UserRole + 1;

} // namespace

MusicPlayerControls::MusicPlayerControls(BridgeModel& model, QWidget* parent)
    : QWidget(parent), model(model), players(new QComboBox(this)) {
    players->setObjectName(QStringLiteral("player"));
    players->setAccessibleName(QStringLiteral("Player"));
    players->setPlaceholderText(QStringLiteral("Choose a player"));
    players->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    auto* rows = new QFormLayout(this);
    rows->setContentsMargins({});
    rows->addRow(QStringLiteral("Player"), players);

    connect(players, &QComboBox::activated, this, [this](int index) {
        const QString busName = players->itemData(index, busNameRole).toString();
        const QString identity = players->itemData(index, identityRole).toString();
        this->model.update([&](BridgeSettings& s) {
            s.player = busName.toStdString();
            s.playerName = identity.toStdString();
        });
    });
    connect(&model, &BridgeModel::settingsChanged, this, &MusicPlayerControls::refresh);
    if (MediaPlayerList* list = model.playerList()) {
        connect(list, &MediaPlayerList::changed, this, &MusicPlayerControls::refresh);
    }
    refresh();
}

// The list is asked for again each time the pane shows it.
void MusicPlayerControls::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (MediaPlayerList* list = model.playerList()) {
        list->refresh();
    }
}

void MusicPlayerControls::refresh() {
    const BridgeSettings& settings = model.settings();
    const QString chosen = qText(settings.player);
    const QSignalBlocker quiet(players);
    players->clear();
    bool open = false;
    if (const MediaPlayerList* list = model.playerList()) {
        for (const auto& player : list->players()) {
            players->addItem(player.identity);
            players->setItemData(players->count() - 1, player.busName, busNameRole);
            players->setItemData(players->count() - 1, player.identity, identityRole);
            open = open || player.busName == chosen;
        }
    }
    if (!chosen.isEmpty() && !open) {
        const QString name =
            qText(settings.playerName).isEmpty() ? chosen : qText(settings.playerName);
        players->addItem(name + QStringLiteral(" (not open)"));
        players->setItemData(players->count() - 1, chosen, busNameRole);
        players->setItemData(players->count() - 1, qText(settings.playerName), identityRole);
    }
    players->setCurrentIndex(players->findData(chosen, busNameRole));
}

} // namespace bridge
