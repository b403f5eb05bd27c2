#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;
class QLocalSocket;

namespace bridge {

// One bridge per user. The first instance listens on a user-only local socket; a later one
// hands its pairing link over and exits. The program's start:
//   link = SingleInstance::linkArgument(arguments)
//   if SingleInstance::handOver(link): exit 0 (an empty link only asks whether one runs)
//   otherwise listen(), and handle `link` itself when there is one.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;

    // $XDG_RUNTIME_DIR/setmara-bridge.socket, else a name with the user's id in the temp folder.
    static QString socketPath();
    // The program's one argument (after its name) when it is a "setmara-bridge:" link, else "".
    static QString linkArgument(const QStringList& arguments);
    // Sends `link` to the running instance, as it was written: true when one took it. With an
    // empty link it only asks whether one runs. A socket that another user owns gets nothing.
    static bool handOver(const QString& link);

    // Starts listening, replacing a stale socket; false when another instance already runs
    // or the socket cannot be made.
    bool listen();

Q_SIGNALS:
    // The link as the other instance was given it.
    void linkReceived(const QString& link);

private:
    void serve(QLocalSocket* client);

    QLocalServer* server;
};

} // namespace bridge
