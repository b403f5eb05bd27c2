#pragma once

#include "Readers/ScriptRunning.hpp"

#include <QDBusConnection>
#include <QDeadlineTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

class QDBusMessage;
class QObject;

namespace bridge {

// Answers the Spotify script through Spotify's MPRIS interface on the session bus, with a
// reply of the same form the script gives. It serves that one script and refuses any other.
// The bus calls run on the thread that made the runner (the Qt main thread); a caller on
// the bridge thread waits for the reply without blocking either thread. A pending run keeps
// the bridge's io_context busy until the player answers or the call times out, so the
// io_context must outlive the runner.
class MprisScriptRunner : public ScriptRunning {
public:
    // `bus` is the session bus; `timeout` bounds each run, all of its calls together.
    explicit MprisScriptRunner(QDBusConnection bus,
                               std::chrono::milliseconds timeout = std::chrono::seconds(2));
    ~MprisScriptRunner() override;
    MprisScriptRunner(const MprisScriptRunner&) = delete;
    MprisScriptRunner& operator=(const MprisScriptRunner&) = delete;

    boost::asio::awaitable<std::string> run(std::string script) override;

private:
    using Done = std::function<void(std::exception_ptr, std::string)>;

    // On the Qt thread: is the player there, and then what does it play, both before
    // `deadline`. A call for which no time is left is answered at once with an error.
    void ask(QDeadlineTimer deadline, Done done);
    void askPlayer(QDeadlineTimer deadline, Done done);
    void call(const QDBusMessage& message, QDeadlineTimer deadline,
              std::function<void(const QDBusMessage&)> answered);

    QDBusConnection bus;
    int timeoutMs;
    std::unique_ptr<QObject> context; // lives on the Qt thread; its end drops pending calls
};

} // namespace bridge
