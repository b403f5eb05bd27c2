#include "LinkReceiverProcess.hpp"
#include "PlatformTesting.hpp"

#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

#include <filesystem>

namespace bridge {
namespace {

using testing::LinkReceiverProcess;

const QString entryName = "app.setmara.Bridge.desktop";

QString text(const std::filesystem::path& file) {
    QFile in(QString::fromStdString(file.string()));
    return in.open(QIODevice::ReadOnly) ? QString::fromUtf8(in.readAll()) : QString();
}

void write(const std::filesystem::path& file, const QString& text) {
    std::filesystem::create_directories(file.parent_path());
    QFile out(QString::fromStdString(file.string()));
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(text.toUtf8());
}

// A desktop of the test's own: home, data, configuration and runtime folders in a temporary
// folder, and no display.
class LinkPathTests : public ::testing::Test {
protected:
    void SetUp() override {
        testing::useApplication();
        environment.insert("PATH", qEnvironmentVariable("PATH"));
        for (const auto& [name, folder] : {std::pair{"HOME", "home"},
                                           {"XDG_DATA_HOME", "data"},
                                           {"XDG_CONFIG_HOME", "config"},
                                           {"XDG_RUNTIME_DIR", "runtime"}}) {
            std::filesystem::create_directories(root / folder);
            environment.insert(name, QString::fromStdString((root / folder).string()));
        }
        std::filesystem::permissions(root / "runtime", std::filesystem::perms::owner_all);
    }

    // Runs `program` in the test's desktop; its exit status, -1 when it did not end normally.
    int run(const QString& program, const QStringList& arguments,
            const QProcessEnvironment& in) const {
        QProcess process;
        process.setProcessEnvironment(in);
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(program, arguments);
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) {
            return -1;
        }
        return process.exitCode();
    }
    int run(const QString& program, const QStringList& arguments) const {
        return run(program, arguments, environment);
    }

    testing::TempFolder root;
    QProcessEnvironment environment;
};

TEST_F(LinkPathTests, TheInstalledEntryIsValid) {
    EXPECT_EQ(run("desktop-file-validate", {DESKTOP_ENTRY}), 0);
    const QString entry = text(DESKTOP_ENTRY);
    EXPECT_TRUE(entry.contains("\nExec=" INSTALL_BINDIR "/setmara-bridge %u\n"))
        << entry.toStdString();
    EXPECT_TRUE(entry.contains("\nMimeType=x-scheme-handler/setmara-bridge;\n"))
        << entry.toStdString();
}

TEST_F(LinkPathTests, GioOpenHandsAPairingLinkToTheRunningInstance) {
    QString entry = text(DESKTOP_ENTRY_TEMPLATE);
    entry.replace("@CMAKE_INSTALL_FULL_BINDIR@/setmara-bridge", LINK_RECEIVER);
    const auto applications = root / "data" / "applications";
    write(applications / entryName.toStdString(), entry);
    ASSERT_EQ(run("update-desktop-database", {QString::fromStdString(applications.string())}), 0);
    ASSERT_EQ(run("xdg-mime", {"default", entryName, "x-scheme-handler/setmara-bridge"}), 0);

    LinkReceiverProcess running(environment);
    ASSERT_EQ(running.nextLine(), "listening");
    ASSERT_EQ(run("gio", {"open", "setmara-bridge://pair?code=ABCD2345"}), 0);
    EXPECT_EQ(running.nextLine(), "setmara-bridge://pair?code=ABCD2345");
}

// The install step of the desktop entry alone, into a prefix in the temporary folder.
TEST_F(LinkPathTests, InstallingRegistersTheEntryUnlessPackaging) {
    const auto prefix = root / "prefix";
    const QStringList install{"--install",    BUILD_DIR,  "--component",
                              "DesktopEntry", "--prefix", QString::fromStdString(prefix.string())};
    const auto mimeDefaults = root / "config" / "mimeapps.list";

    QProcessEnvironment packaging = environment;
    packaging.insert("DESTDIR", QString::fromStdString((root / "package").string()));
    ASSERT_EQ(run(CMAKE_COMMAND, install, packaging), 0);
    const auto packaged = root / "package" / prefix.relative_path() / "share" / "applications";
    EXPECT_EQ(text(packaged / entryName.toStdString()), text(DESKTOP_ENTRY));
    EXPECT_FALSE(std::filesystem::exists(packaged / "mimeinfo.cache"));
    EXPECT_FALSE(std::filesystem::exists(mimeDefaults));

    ASSERT_EQ(run(CMAKE_COMMAND, install), 0);
    const auto installed = prefix / "share" / "applications";
    EXPECT_EQ(text(installed / entryName.toStdString()), text(DESKTOP_ENTRY));
    EXPECT_TRUE(text(installed / "mimeinfo.cache")
                    .contains("\nx-scheme-handler/setmara-bridge=" + entryName + ";"));
    EXPECT_TRUE(text(mimeDefaults).contains("\nx-scheme-handler/setmara-bridge=" + entryName));
}

} // namespace
} // namespace bridge
