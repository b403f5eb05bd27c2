#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <vector>

namespace bridge {

// The media players on the desktop's session bus, by the names they give themselves, kept up
// to date as players come and go. Lives on the Qt thread.
class MediaPlayerList : public QObject {
    Q_OBJECT

public:
    struct Player {
        QString busName;  // without an instance suffix: any instance is that player
        QString identity; // as the player names itself; its bus name when it says nothing

        bool operator==(const Player&) const = default;
    };

    explicit MediaPlayerList(QDBusConnection bus, QObject* parent = nullptr);

    // Asks the bus again; `changed` follows once the answer differs from the list.
    void refresh();
    // By identity, each player once however many instances run.
    const std::vector<Player>& players() const { return players_; }

Q_SIGNALS:
    void changed();

private Q_SLOTS:
    void ownerChanged(const QString& name, const QString& before, const QString& after);

private:
    void identify(std::vector<Player> found, std::size_t next, int round);
    void take(std::vector<Player> found, int round);

    QDBusConnection bus;
    std::vector<Player> players_;
    int rounds = 0; // a later refresh replaces the answer of an earlier one still under way
};

} // namespace bridge
