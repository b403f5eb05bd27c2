#include "LinkReceiverProcess.hpp"
#include "Platform/SingleInstance.hpp"
#include "PlatformTesting.hpp"

#include <QFileInfo>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace bridge {
namespace {

using testing::LinkReceiverProcess;

const QString link = "setmara-bridge://pair?code=ABCD2345";

class SingleInstanceTests : public ::testing::Test {
protected:
    void SetUp() override {
        testing::useApplication();
        environment.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime.path().string()));
    }

    QString socket() const {
        return QString::fromStdString((runtime / "setmara-bridge.socket").string());
    }

    testing::TempFolder runtime;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
};

TEST_F(SingleInstanceTests, ASecondInstanceHandsItsLinkToTheFirstAndEnds) {
    LinkReceiverProcess first(environment);
    ASSERT_EQ(first.nextLine(), "listening");

    LinkReceiverProcess second(environment, {link});
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(second.nextLine(std::chrono::milliseconds(0)), "");
    EXPECT_EQ(first.nextLine(), link);

    LinkReceiverProcess third(environment, {"setmara-bridge://pair?code=WXYZ6789"});
    EXPECT_EQ(third.exitCode(), 0);
    EXPECT_EQ(first.nextLine(), "setmara-bridge://pair?code=WXYZ6789");
}

// The scheme and host count as written, so neither start may change their letter case.
TEST_F(SingleInstanceTests, LinksReachTheRunningInstanceAsTheyWereWritten) {
    const QString capitals = "SETMARA-BRIDGE://PAIR?code=ABCD2345";
    LinkReceiverProcess first(environment, {capitals});
    ASSERT_EQ(first.nextLine(), "listening");
    EXPECT_EQ(first.nextLine(), capitals);
    for (const QString& written : {QString("setmara-bridge://PAIR?code=ABCD2345"),
                                   QString("Setmara-Bridge://pair?code=ab%20cd-2345#x")}) {
        LinkReceiverProcess second(environment, {written});
        EXPECT_EQ(second.exitCode(), 0);
        EXPECT_EQ(first.nextLine(), written);
    }
    // A line break would split the link in two: the running instance hears nothing of it.
    LinkReceiverProcess broken(environment, {"setmara-bridge://pair?code=ABCD\n2345"});
    EXPECT_EQ(broken.exitCode(), 0);
    EXPECT_EQ(first.nextLine(std::chrono::milliseconds(300)), "");
}

TEST_F(SingleInstanceTests, TheSenderHasItsAnswerBeforeTheLinkIsHandled) {
    LinkReceiverProcess first(environment);
    ASSERT_EQ(first.nextLine(), "listening");
    LinkReceiverProcess second(environment, {link});
    ASSERT_EQ(first.nextLine(), link);
    first.kill();
    EXPECT_EQ(second.exitCode(), 0);
}

TEST_F(SingleInstanceTests, ASecondInstanceWithoutALinkEndsAndTheFirstGetsNothing) {
    LinkReceiverProcess first(environment);
    ASSERT_EQ(first.nextLine(), "listening");
    LinkReceiverProcess second(environment);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.nextLine(std::chrono::milliseconds(300)), "");
}

TEST_F(SingleInstanceTests, TheFirstInstanceHandlesItsOwnLink) {
    LinkReceiverProcess first(environment, {link});
    ASSERT_EQ(first.nextLine(), "listening");
    EXPECT_EQ(first.nextLine(), link);
}

TEST_F(SingleInstanceTests, TheSocketIsTheUsersOnly) {
    LinkReceiverProcess first(environment);
    ASSERT_EQ(first.nextLine(), "listening");
    struct stat status {};
    ASSERT_EQ(::lstat(socket().toLocal8Bit().constData(), &status), 0);
    EXPECT_TRUE(S_ISSOCK(status.st_mode));
    EXPECT_EQ(status.st_uid, ::geteuid());
    EXPECT_EQ(status.st_mode & 077, 0u) << std::oct << status.st_mode;
}

TEST_F(SingleInstanceTests, TheSocketOfAKilledInstanceIsReplaced) {
    {
        LinkReceiverProcess killed(environment);
        ASSERT_EQ(killed.nextLine(), "listening");
    }
    ASSERT_TRUE(QFileInfo::exists(socket()));

    LinkReceiverProcess first(environment);
    ASSERT_EQ(first.nextLine(), "listening");
    LinkReceiverProcess second(environment, {link});
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.nextLine(), link);
}

TEST_F(SingleInstanceTests, AFileInTheSocketsPlaceIsReplaced) {
    ASSERT_TRUE(QFile(socket()).open(QIODevice::WriteOnly));
    LinkReceiverProcess first(environment);
    ASSERT_EQ(first.nextLine(), "listening");
}

TEST_F(SingleInstanceTests, ALiveInstanceKeepsItsSocket) {
    LinkReceiverProcess first(environment);
    ASSERT_EQ(first.nextLine(), "listening");
    {
        testing::ScopedVariable variable("XDG_RUNTIME_DIR", runtime.path().string());
        SingleInstance other;
        EXPECT_FALSE(other.listen());
        EXPECT_TRUE(SingleInstance::handOver(QString()));
    }
    LinkReceiverProcess second(environment, {link});
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.nextLine(), link);
}

TEST_F(SingleInstanceTests, WithoutARuntimeFolderTheSocketIsInTheTemporaryFolder) {
    environment.remove("XDG_RUNTIME_DIR");
    environment.insert("TMPDIR", QString::fromStdString(runtime.path().string()));
    LinkReceiverProcess first(environment);
    ASSERT_EQ(first.nextLine(), "listening");
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(
        (runtime / ("setmara-bridge-" + std::to_string(::geteuid()) + ".socket")).string())));
    LinkReceiverProcess second(environment, {link});
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.nextLine(), link);
}

TEST(SingleInstanceLinkArgumentTests, OnlyALoneSetmaraBridgeLinkIsTheLink) {
    EXPECT_EQ(SingleInstance::linkArgument({"setmara-bridge", link}), link);
    EXPECT_EQ(SingleInstance::linkArgument({"setmara-bridge", "SETMARA-BRIDGE://pair?code=AB"}),
              "SETMARA-BRIDGE://pair?code=AB");
    EXPECT_EQ(SingleInstance::linkArgument({"setmara-bridge"}), "");
    EXPECT_EQ(SingleInstance::linkArgument({"setmara-bridge", "https://setmara.example/pair"}), "");
    EXPECT_EQ(SingleInstance::linkArgument({"setmara-bridge", link, link}), "");
    EXPECT_EQ(SingleInstance::linkArgument({"setmara-bridge", "--verbose"}), "");
}

} // namespace
} // namespace bridge
