// Real music players from Debian's packages, headless on a bus of the test's own, read as the
// bridge reads them: through the MPRIS client and the music player reader. Each test skips
// when its player is not installed.
#include "MprisTesting.hpp"
#include "Platform/MprisClient.hpp"
#include "PlatformTesting.hpp"
#include "Readers/MusicPlayerReader.hpp"
#include "Values/SourceError.hpp"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <functional>
#include <numbers>

namespace bridge {
namespace {

using namespace std::chrono_literals;
using testing::onBridgeThread;

// A WAV file of a quiet tone with its title and artist in an INFO list, which both players
// read as the song's metadata.
void writeSong(const std::filesystem::path& file, const std::string& title,
               const std::string& artist) {
    constexpr std::uint32_t rate = 8000;
    constexpr std::uint32_t seconds = 60;
    std::string samples;
    for (std::uint32_t i = 0; i < rate * seconds; ++i) {
        const auto value = static_cast<std::int16_t>(
            300 * std::sin(2 * std::numbers::pi * 440 * static_cast<double>(i) / rate));
        samples.append(reinterpret_cast<const char*>(&value), 2);
    }
    const auto u32 = [](std::uint32_t value) {
        return std::string(reinterpret_cast<const char*>(&value), 4);
    };
    const auto chunk = [&](const std::string& tag, std::string body) {
        if (body.size() % 2 != 0) {
            body += '\0';
        }
        return tag + u32(static_cast<std::uint32_t>(body.size())) + body;
    };
    const std::string info = "INFO" + chunk("INAM", title + '\0') + chunk("IART", artist + '\0');
    const std::string format = std::string("\x01\x00\x01\x00", 4) + u32(rate) + u32(rate * 2) +
                               std::string("\x02\x00\x10\x00", 4);
    const std::string body =
        "WAVE" + chunk("fmt ", format) + chunk("LIST", info) + chunk("data", samples);
    std::ofstream(file, std::ios::binary)
        << "RIFF" << u32(static_cast<std::uint32_t>(body.size())) << body;
}

class RealPlayersTests : public testing::OnPrivateBus {
protected:
    void SetUp() override {
        OnPrivateBus::SetUp();
        writeSong(home / "one.wav", "Milonga Sentimental", "Canaro");
        writeSong(home / "two.wav", "La Cumparsita", "Rodríguez");
    }
    void TearDown() override {
        if (program.state() != QProcess::NotRunning) {
            program.kill();
            program.waitForFinished(5000);
        }
        OnPrivateBus::TearDown();
    }

    // Starts `name` with `arguments` on the private bus, in a home of its own; false when the
    // program is not installed.
    bool start(const QString& name, const QStringList& arguments) {
        const QString path = QStandardPaths::findExecutable(name);
        if (path.isEmpty()) {
            return false;
        }
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DBUS_SESSION_BUS_ADDRESS", bus->address);
        environment.insert("HOME", QString::fromStdString(home.path().string()));
        environment.insert("XDG_CONFIG_HOME", QString::fromStdString((home / "config").string()));
        environment.remove("DISPLAY");
        program.setProcessEnvironment(environment);
        program.setProcessChannelMode(QProcess::MergedChannels);
        program.start(path, arguments);
        return program.waitForStarted(5000);
    }

    QString file(const char* name) const { return QString::fromStdString((home / name).string()); }

    // Reads until `wanted` holds for a snapshot, or a few seconds have passed.
    VDJSnapshot readUntil(MusicPlayerReader& reader,
                          const std::function<bool(const VDJSnapshot&)>& wanted) {
        VDJSnapshot snapshot;
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 8000) {
            try {
                snapshot = onBridgeThread(reader.read());
                if (wanted(snapshot)) {
                    return snapshot;
                }
            } catch (const SourceError&) {
                // Not there yet, or gone.
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
        }
        return snapshot;
    }

    bool answersNoMore(MusicPlayerReader& reader) {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 8000) {
            try {
                onBridgeThread(reader.read());
            } catch (const SourceError& error) {
                return error == SourceError::notAnswering;
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
        }
        return false;
    }

    // What a person does at the player: its own controls, over the same interface.
    void control(const QString& busName, const QString& method) {
        auto call = QDBusMessage::createMethodCall(busName, "/org/mpris/MediaPlayer2",
                                                   "org.mpris.MediaPlayer2.Player", method);
        connection.call(call, QDBus::Block, 3000);
    }
    void setVolume(const QString& busName, double volume) {
        auto call = QDBusMessage::createMethodCall(busName, "/org/mpris/MediaPlayer2",
                                                   "org.freedesktop.DBus.Properties", "Set");
        call << QStringLiteral("org.mpris.MediaPlayer2.Player") << QStringLiteral("Volume")
             << QVariant::fromValue(QDBusVariant(volume));
        connection.call(call, QDBus::Block, 3000);
    }
    void quit(const QString& busName) {
        connection.call(QDBusMessage::createMethodCall(busName, "/org/mpris/MediaPlayer2",
                                                       "org.mpris.MediaPlayer2", "Quit"),
                        QDBus::Block, 3000);
    }

    // Play, pause, next, mute and quit, as the reader sees them.
    void playPauseNextMuteQuit(const QString& busName, const std::string& identity) {
        auto client = std::make_shared<MprisClient>(connection, 2s);
        MusicPlayerReader reader(client, busName.toStdString(), identity);
        const auto title = [](const VDJSnapshot& s) {
            return s.decks.at(0).song ? s.decks.at(0).song->title.value_or("") : "";
        };
        const auto heard = [](const VDJSnapshot& s) { return s.decks.at(0).audible; };

        // mpv names a song by its file until it has read the file's tags.
        auto now = readUntil(
            reader, [&](const auto& s) { return heard(s) && title(s) == "Milonga Sentimental"; });
        ASSERT_TRUE(heard(now)) << program.readAll().toStdString();
        EXPECT_EQ(title(now), "Milonga Sentimental");
        EXPECT_EQ(now.decks[0].song->artist, "Canaro");
        EXPECT_EQ(now.program, identity);
        EXPECT_EQ(now.decks[0].song->filePath, "file://" + file("one.wav").toStdString());
        ASSERT_TRUE(now.decks[0].song->lengthSeconds);
        EXPECT_NEAR(*now.decks[0].song->lengthSeconds, 60.0, 0.5);

        control(busName, "Pause");
        now = readUntil(reader, [&](const auto& s) { return !heard(s); });
        EXPECT_FALSE(heard(now));
        EXPECT_TRUE(now.decks[0].loaded) << "paused is loaded, not on air";

        control(busName, "Play");
        control(busName, "Next");
        now = readUntil(reader, [&](const auto& s) { return title(s) == "La Cumparsita"; });
        EXPECT_EQ(title(now), "La Cumparsita");
        EXPECT_EQ(now.decks[0].song->artist, "Rodríguez");
        EXPECT_TRUE(readUntil(reader, heard).decks[0].audible);

        setVolume(busName, 0.0);
        now = readUntil(reader, [&](const auto& s) { return !heard(s); });
        EXPECT_FALSE(heard(now)) << "a muted player is not heard";
        setVolume(busName, 1.0);
        EXPECT_TRUE(readUntil(reader, heard).decks[0].audible);

        quit(busName);
        EXPECT_TRUE(answersNoMore(reader));
    }

    testing::TempFolder home;
    QProcess program;
};

TEST_F(RealPlayersTests, Mpv) {
    if (!start("mpv", {"--no-video", "--ao=null", "--no-terminal", "--idle=no",
                       "--script=/usr/lib/mpv-mpris/mpris.so", file("one.wav"), file("two.wav")})) {
        GTEST_SKIP() << "mpv is not installed (Debian: mpv mpv-mpris)";
    }
    playPauseNextMuteQuit("org.mpris.MediaPlayer2.mpv", "mpv");
}

TEST_F(RealPlayersTests, Audacious) {
    // Without an audio output Audacious says its volume is 0; its own volume control does not.
    std::filesystem::create_directories(home / "config" / "audacious");
    std::ofstream(home / "config" / "audacious" / "config")
        << "[audacious]\nsoftware_volume_control=TRUE\nsw_volume_left=100\n"
           "sw_volume_right=100\n";
    if (!start("audacious", {"--headless", file("one.wav"), file("two.wav")})) {
        GTEST_SKIP() << "Audacious is not installed";
    }
    playPauseNextMuteQuit("org.mpris.MediaPlayer2.audacious", "Audacious");
}

} // namespace
} // namespace bridge
