#include "Platform/MediaPlayerList.hpp"

#include "Readers/MediaPlayers.hpp"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QStringList>

#include <algorithm>

namespace bridge {

namespace {

constexpr int askMs = 2000;

const QString busService = QStringLiteral("org.freedesktop.DBus");

bool isPlayerName(const QString& name) {
    return name.startsWith(QLatin1String(MprisName::prefix.data(), MprisName::prefix.size()));
}

} // namespace

MediaPlayerList::MediaPlayerList(QDBusConnection bus, QObject* parent)
    : QObject(parent), bus(std::move(bus)) {
    this->bus.connect(busService, QStringLiteral("/org/freedesktop/DBus"), busService,
                      QStringLiteral("NameOwnerChanged"), this,
                      SLOT(ownerChanged(QString, QString, QString)));
}

void MediaPlayerList::ownerChanged(const QString& name, const QString&, const QString&) {
    if (isPlayerName(name)) {
        refresh();
    }
}

void MediaPlayerList::refresh() {
    const int round = ++rounds;
    auto names = QDBusMessage::createMethodCall(busService, QStringLiteral("/org/freedesktop/DBus"),
                                                busService, QStringLiteral("ListNames"));
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(names, askMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, round] {
        watcher->deleteLater();
        std::vector<Player> found;
        // Sorted, so that a player's own name comes before its instances'.
        QStringList names = watcher->reply().arguments().value(0).toStringList();
        names.sort();
        for (const QString& name : names) {
            const auto player =
                QString::fromStdString(MprisName::withoutInstance(name.toStdString()));
            const bool known = std::any_of(found.begin(), found.end(),
                                           [&](const Player& p) { return p.busName == player; });
            if (isPlayerName(name) && !known) {
                // The instance that answers names the player.
                found.push_back({.busName = player, .identity = name});
            }
        }
        identify(std::move(found), 0, round);
    });
}

// Asks each player its identity, one after the other, through the instance found.
void MediaPlayerList::identify(std::vector<Player> found, std::size_t next, int round) {
    if (round != rounds) {
        return;
    }
    if (next == found.size()) {
        take(std::move(found), round);
        return;
    }
    auto get = QDBusMessage::createMethodCall(
        found[next].identity, QStringLiteral("/org/mpris/MediaPlayer2"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QStringLiteral("org.mpris.MediaPlayer2") << QStringLiteral("Identity");
    get.setAutoStartService(false);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(get, askMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, watcher, found = std::move(found), next, round]() mutable {
                watcher->deleteLater();
                const QVariant identity =
                    watcher->reply().arguments().value(0).value<QDBusVariant>().variant();
                const QString name = identity.toString().trimmed();
                found[next].identity = name.isEmpty() ? found[next].busName : name;
                identify(std::move(found), next + 1, round);
            });
}

void MediaPlayerList::take(std::vector<Player> found, int round) {
    if (round != rounds) {
        return;
    }
    std::sort(found.begin(), found.end(), [](const Player& a, const Player& b) {
        return a.identity.compare(b.identity, Qt::CaseInsensitive) < 0;
    });
    if (found != players_) {
        players_ = std::move(found);
        Q_EMIT changed();
    }
}

} // namespace bridge
