#pragma once

#include "PlatformTesting.hpp"
#include "Support/TempFolder.hpp"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QEventLoop>
#include <QMetaObject>
#include <QString>
#include <QVariantMap>
#include <boost/asio/awaitable.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

namespace bridge::testing {

// A D-Bus session bus of the test's own, run by dbus-daemon.
class PrivateBus {
public:
    PrivateBus() {
        const auto config = folder / "bus.conf";
        std::ofstream(config)
            << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\""
               " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
               "<busconfig><type>session</type><listen>unix:dir="
            << folder.path().string()
            << "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
               "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
               "<allow own=\"*\"/></policy></busconfig>\n";
        const std::string command = "dbus-daemon --config-file=" + config.string() +
                                    " --fork --print-address=1 --print-pid=1";
        FILE* out = ::popen(command.c_str(), "r");
        if (out == nullptr) {
            throw std::runtime_error("cannot start dbus-daemon");
        }
        char line[512];
        if (std::fgets(line, sizeof line, out) != nullptr) {
            address = QString::fromUtf8(line).trimmed();
        }
        if (std::fgets(line, sizeof line, out) != nullptr) {
            pid = std::atoi(line);
        }
        ::pclose(out);
        if (address.isEmpty() || pid <= 0) {
            throw std::runtime_error("dbus-daemon did not start");
        }
    }
    ~PrivateBus() { ::kill(pid, SIGTERM); }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    QString address;

private:
    TempFolder folder;
    pid_t pid = 0;
};

// A media player's object, answering property requests as the test sets: its player
// interface's properties to GetAll, and its identity.
class FakePlayer : public QDBusVirtualObject {
public:
    enum class Answer { properties, error, silence };

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.interface() != QLatin1String("org.freedesktop.DBus.Properties")) {
            return false;
        }
        if (message.member() == QLatin1String("Get") &&
            message.arguments().value(1).toString() == QLatin1String("Identity")) {
            connection.send(message.createReply(QVariant::fromValue(QDBusVariant(identity))));
            return true;
        }
        if (message.member() != QLatin1String("GetAll")) {
            return false;
        }
        askedFor = message.arguments().value(0).toString();
        ++asked;
        if (answer == Answer::properties) {
            connection.send(message.createReply(QVariant::fromValue(properties)));
        } else if (answer == Answer::error) {
            connection.send(message.createErrorReply(errorName, QStringLiteral("refused")));
        }
        return true;
    }

    Answer answer = Answer::properties;
    QVariantMap properties;
    QString identity = QStringLiteral("Fake Player");
    QString errorName;
    QString askedFor;
    int asked = 0;
};

// A player on its own connection to the bus, owning `busName` while it lives.
class PlayerOnBus {
public:
    PlayerOnBus(const QString& address, const QString& busName)
        : connection(QDBusConnection::connectToBus(address, busName)) {
        connection.registerVirtualObject(QStringLiteral("/org/mpris/MediaPlayer2"), &player);
        connection.registerService(busName);
    }
    ~PlayerOnBus() { QDBusConnection::disconnectFromBus(connection.name()); }
    PlayerOnBus(const PlayerOnBus&) = delete;
    PlayerOnBus& operator=(const PlayerOnBus&) = delete;

    FakePlayer player;
    QDBusConnection connection;
};

// Tests on a D-Bus session of the suite's own, each with a connection of its own to it.
class OnPrivateBus : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        useApplication();
        bus = new PrivateBus();
    }
    static void TearDownTestSuite() {
        delete bus;
        bus = nullptr;
    }
    void SetUp() override {
        connection = connect();
        ASSERT_TRUE(connection.isConnected());
    }
    void TearDown() override { QDBusConnection::disconnectFromBus(connection.name()); }

    // Another connection to the bus, to be let go of by the test.
    static QDBusConnection connect() {
        return QDBusConnection::connectToBus(bus->address, "test" + QString::number(++made));
    }

    static inline PrivateBus* bus = nullptr;
    static inline int made = 0;
    QDBusConnection connection{QString()};
};

// Runs `task` on a bridge thread of its own while this thread serves Qt, as in the app.
template <class T>
T onBridgeThread(boost::asio::awaitable<T> task) {
    boost::asio::io_context io;
    std::optional<T> result;
    std::exception_ptr failure;
    QEventLoop loop;
    boost::asio::co_spawn(io, std::move(task), [&](std::exception_ptr error, T value) {
        failure = error;
        result = std::move(value);
        QMetaObject::invokeMethod(
            &loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    std::thread bridgeThread([&] { io.run(); });
    loop.exec();
    bridgeThread.join();
    if (failure) {
        std::rethrow_exception(failure);
    }
    return std::move(*result);
}

// Playing properties, as the test shapes them.
inline QVariantMap playerProperties(const QString& status, const QVariantMap& metadata,
                                    double volume = 1.0) {
    return QVariantMap{{"PlaybackStatus", status}, {"Volume", volume}, {"Metadata", metadata}};
}

} // namespace bridge::testing
