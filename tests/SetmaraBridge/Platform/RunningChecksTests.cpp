#include "Platform/RunningChecks.hpp"
#include "PlatformTesting.hpp"

#include <QProcess>
#include <gtest/gtest.h>

#include <filesystem>

namespace bridge {
namespace {

// A process that the kernel names `name`: a copy of sleep under that name.
class NamedProcess {
public:
    NamedProcess(const testing::TempFolder& folder, const std::string& name) {
        const auto program = folder / name;
        std::filesystem::copy_file("/bin/sleep", program);
        process.start(QString::fromStdString(program.string()), {"60"});
        process.waitForStarted();
    }
    ~NamedProcess() { stop(); }
    NamedProcess(const NamedProcess&) = delete;
    NamedProcess& operator=(const NamedProcess&) = delete;

    void stop() {
        process.kill();
        process.waitForFinished();
    }

private:
    QProcess process;
};

TEST(RunningChecksTests, MixxxIsSeenInTheProcessesAndDjayNeverRunsOnLinux) {
    testing::useApplication();
    testing::TempFolder folder;
    NamedProcess mixxx(folder, "mixxx");
    NamedProcess djay(folder, "djay");
    ASSERT_TRUE(testing::waitUntil(mixxxIsRunning));
    EXPECT_FALSE(djayIsRunning());
    mixxx.stop();
    EXPECT_TRUE(testing::waitUntil([] { return !mixxxIsRunning(); }));
}

} // namespace
} // namespace bridge
