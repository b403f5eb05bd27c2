#pragma once

#include <QDeadlineTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <chrono>

namespace bridge::testing {

// The link-receiver test program, started as a real second process.
class LinkReceiverProcess {
public:
    explicit LinkReceiverProcess(const QProcessEnvironment& environment,
                                 QStringList arguments = {}) {
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QStringLiteral(LINK_RECEIVER), arguments);
        process.waitForStarted();
    }
    ~LinkReceiverProcess() { kill(); }
    LinkReceiverProcess(const LinkReceiverProcess&) = delete;
    LinkReceiverProcess& operator=(const LinkReceiverProcess&) = delete;

    // The next line it prints, or "" when none comes in time.
    QString nextLine(std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        const QDeadlineTimer deadline(limit);
        while (!process.canReadLine()) {
            if (deadline.hasExpired() || !process.waitForReadyRead(deadline.remainingTime())) {
                return {};
            }
        }
        return QString::fromUtf8(process.readLine()).trimmed();
    }

    // Its exit status once it ends by itself, or -1 when it still runs after `limit`.
    int exitCode(std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        if (!process.waitForFinished(static_cast<int>(limit.count())) ||
            process.exitStatus() != QProcess::NormalExit) {
            return -1;
        }
        return process.exitCode();
    }

    void kill() {
        process.kill();
        process.waitForFinished();
    }

private:
    QProcess process;
};

} // namespace bridge::testing
