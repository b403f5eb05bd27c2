#pragma once

#include "Readers/MediaPlayers.hpp"

#include <QDBusConnection>
#include <QDeadlineTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QDBusMessage;
class QObject;

namespace bridge {

// The desktop's media players over MPRIS on the session bus, for every reader that asks
// them. The bus calls run on the thread that made the client (the Qt main thread); a caller
// on the bridge thread waits for the answer without blocking either thread. A pending call
// keeps the bridge's io_context busy until the player answers or the time is up, so the
// io_context must outlive the client.
class MprisClient : public MediaPlayers {
public:
    // `bus` is the session bus; `timeout` bounds each question, all of its calls together.
    explicit MprisClient(QDBusConnection bus,
                         std::chrono::milliseconds timeout = std::chrono::seconds(2));
    ~MprisClient() override;
    MprisClient(const MprisClient&) = delete;
    MprisClient& operator=(const MprisClient&) = delete;

    boost::asio::awaitable<std::vector<MediaPlayerInstance>> instances(std::string player) override;
    boost::asio::awaitable<std::optional<MediaPlayerState>> player(std::string busName) override;

private:
    template <class Answer>
    using Done = std::function<void(std::exception_ptr, Answer)>;
    template <class Answer>
    using Question = std::function<void(QDeadlineTimer, Done<Answer>)>;

    // Asks `question` on the Qt thread, with one deadline for all of its calls, and waits on
    // the caller's executor for its answer.
    template <class Answer>
    boost::asio::awaitable<Answer> ask(Question<Answer> question);

    // On the Qt thread, all before `deadline`: is the player there, and what does it play.
    void askPlayer(QString busName, QDeadlineTimer deadline,
                   Done<std::optional<MediaPlayerState>> done);
    void askState(QString busName, QDeadlineTimer deadline,
                  Done<std::optional<MediaPlayerState>> done);
    // Which of the bus's names are instances of `player`, then what each of them plays.
    void askInstances(QString player, QDeadlineTimer deadline,
                      Done<std::vector<MediaPlayerInstance>> done);
    void askEach(std::shared_ptr<std::vector<MediaPlayerInstance>> found, std::size_t next,
                 QDeadlineTimer deadline, Done<std::vector<MediaPlayerInstance>> done);
    // A call for which no time is left is answered at once with an error.
    void call(const QDBusMessage& message, QDeadlineTimer deadline,
              std::function<void(const QDBusMessage&)> answered);

    QDBusConnection bus;
    int timeoutMs;
    std::unique_ptr<QObject> context; // lives on the Qt thread; its end drops pending calls
};

} // namespace bridge
