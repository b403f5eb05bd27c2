#include "Platform/SingleInstance.hpp"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStringList>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

namespace bridge {
namespace {

constexpr int waitMs = 2000;
constexpr qint64 longestLine = 8192;
constexpr char tookIt[] = "ok\n";

// In a shared temporary folder another user could have made the socket to catch links.
bool isOwnSocket(const QString& path) {
    struct stat status {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 && S_ISSOCK(status.st_mode) &&
           status.st_uid == ::geteuid();
}

void drop(QLocalSocket* client) {
    client->abort();
    client->deleteLater();
}

} // namespace

SingleInstance::SingleInstance(QObject* parent) : QObject(parent), server(new QLocalServer(this)) {
    server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = server->nextPendingConnection()) {
            serve(client);
        }
    });
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::socketPath() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime)) {
        return QDir(runtime).filePath(QStringLiteral("setmara-bridge.socket"));
    }
    return QDir(QDir::tempPath())
        .filePath(QStringLiteral("setmara-bridge-%1.socket").arg(::geteuid()));
}

QString SingleInstance::linkArgument(const QStringList& arguments) {
    if (arguments.size() == 2 &&
        arguments[1].startsWith(QLatin1String("setmara-bridge:"), Qt::CaseInsensitive)) {
        return arguments[1];
    }
    return {};
}

bool SingleInstance::handOver(const QString& link) {
    const QString path = socketPath();
    if (!isOwnSocket(path)) {
        return false;
    }
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(waitMs)) {
        return false;
    }
    // One line carries one link; a link with a line break in it is no pairing link, so in
    // its place the running instance only hears that another start happened.
    const bool oneLine = !link.contains(u'\n') && !link.contains(u'\r');
    socket.write((oneLine ? link.toUtf8() : QByteArray()) + '\n');
    socket.flush();
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(waitMs)) {
            return false;
        }
    }
    return socket.readLine() == tookIt;
}

bool SingleInstance::listen() {
    const QString path = socketPath();
    // Two instances starting at once take turns, so neither removes the other's socket.
    QLockFile turn(path + QStringLiteral(".lock"));
    if (!turn.tryLock(waitMs) || handOver(QString())) {
        return false;
    }
    QLocalServer::removeServer(path);
    return server->listen(path);
}

void SingleInstance::serve(QLocalSocket* client) {
    connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
    QTimer::singleShot(waitMs, client, [client] { drop(client); }); // one that never says a thing
    connect(client, &QLocalSocket::readyRead, this, [this, client] {
        if (client->state() != QLocalSocket::ConnectedState) {
            return;
        }
        if (!client->canReadLine()) {
            if (client->bytesAvailable() > longestLine) {
                drop(client);
            }
            return;
        }
        QByteArray line = client->readLine();
        line.chop(1); // the line break; the link itself is passed on as it was written
        // The answer goes out before the link is handled, even if this instance then quits.
        client->write(tookIt);
        client->flush();
        client->disconnectFromServer();
        if (!line.isEmpty()) {
            Q_EMIT linkReceived(QString::fromUtf8(line));
        }
    });
}

} // namespace bridge
