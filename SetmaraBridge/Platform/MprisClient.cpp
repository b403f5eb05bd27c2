#include "Platform/MprisClient.hpp"

#include "Values/SourceError.hpp"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QMetaObject>
#include <QObject>
#include <QStringList>
#include <QVariantMap>
#include <boost/asio/async_result.hpp>
#include <boost/asio/execution/outstanding_work.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/prefer.hpp>
#include <boost/asio/use_awaitable.hpp>

namespace bridge {

namespace {

const QString playerPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString playerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");

QDBusMessage busCall(const QString& method) {
    return QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                          QStringLiteral("/org/freedesktop/DBus"),
                                          QStringLiteral("org.freedesktop.DBus"), method);
}

bool isError(const QDBusMessage& message) {
    return message.type() == QDBusMessage::ErrorMessage;
}

bool playerIsGone(const QDBusMessage& error) {
    return error.errorName() == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
           error.errorName() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner");
}

std::exception_ptr failureOf(const QDBusMessage& error) {
    if (error.errorName() == QLatin1String("org.freedesktop.DBus.Error.AccessDenied")) {
        return std::make_exception_ptr(SourceError::notAllowed);
    }
    return std::make_exception_ptr(SourceError::notAnswering);
}

// A dictionary of the bus, however Qt delivered it; absent for anything else.
std::optional<QVariantMap> dictionary(const QVariant& value) {
    if (value.metaType() == QMetaType::fromType<QVariantMap>()) {
        return value.toMap();
    }
    if (value.metaType() == QMetaType::fromType<QDBusArgument>()) {
        const auto argument = value.value<QDBusArgument>();
        if (argument.currentSignature() != QLatin1String("a{sv}")) {
            return std::nullopt;
        }
        QVariantMap map;
        argument >> map;
        return map;
    }
    return std::nullopt;
}

std::optional<std::string> text(const QVariant& value) {
    if (value.metaType() == QMetaType::fromType<QString>()) {
        return value.toString().toStdString();
    }
    return std::nullopt;
}

std::optional<std::string> trackId(const QVariant& value) {
    if (value.metaType() == QMetaType::fromType<QDBusObjectPath>()) {
        return value.value<QDBusObjectPath>().path().toStdString();
    }
    return text(value);
}

std::optional<std::vector<std::string>> artists(const QVariant& value) {
    if (value.metaType() == QMetaType::fromType<QStringList>()) {
        std::vector<std::string> names;
        for (const QString& name : value.toStringList()) {
            names.push_back(name.toStdString());
        }
        return names;
    }
    if (const auto one = text(value)) {
        return std::vector<std::string>{*one};
    }
    return std::nullopt;
}

std::optional<std::int64_t> length(const QVariant& value) {
    if (value.metaType() == QMetaType::fromType<qlonglong>() && value.toLongLong() >= 0) {
        return value.toLongLong();
    }
    if (value.metaType() == QMetaType::fromType<qulonglong>() &&
        value.toULongLong() <= static_cast<qulonglong>(INT64_MAX)) {
        return static_cast<std::int64_t>(value.toULongLong());
    }
    return std::nullopt;
}

MediaPlayerState::Metadata metadataOf(const QVariantMap& metadata) {
    return {.trackId = trackId(metadata.value(QStringLiteral("mpris:trackid"))),
            .title = text(metadata.value(QStringLiteral("xesam:title"))),
            .artists = artists(metadata.value(QStringLiteral("xesam:artist"))),
            .url = text(metadata.value(QStringLiteral("xesam:url"))),
            .lengthMicroseconds = length(metadata.value(QStringLiteral("mpris:length")))};
}

MediaPlayerState stateOf(const QVariantMap& properties) {
    MediaPlayerState state{.playbackStatus =
                               text(properties.value(QStringLiteral("PlaybackStatus"))),
                           .volume = std::nullopt,
                           .metadata = std::nullopt};
    const QVariant volume = properties.value(QStringLiteral("Volume"));
    if (volume.metaType() == QMetaType::fromType<double>()) {
        state.volume = volume.toDouble();
    }
    if (const auto metadata = dictionary(properties.value(QStringLiteral("Metadata")))) {
        state.metadata = metadataOf(*metadata);
    }
    return state;
}

} // namespace

MprisClient::MprisClient(QDBusConnection bus, std::chrono::milliseconds timeout)
    : bus(std::move(bus)), timeoutMs(static_cast<int>(timeout.count())),
      context(std::make_unique<QObject>()) {}

MprisClient::~MprisClient() = default;

template <class Answer>
boost::asio::awaitable<Answer> MprisClient::ask(Question<Answer> question) {
    // One limit for the whole question, however its calls share it.
    const QDeadlineTimer deadline(timeoutMs);
    co_return co_await boost::asio::async_initiate<const boost::asio::use_awaitable_t<>&,
                                                   void(std::exception_ptr, Answer)>(
        [this, deadline, question = std::move(question)](auto handler) {
            // The bridge thread's context must not run out of work while the Qt thread asks.
            auto executor = boost::asio::prefer(boost::asio::get_associated_executor(handler),
                                                boost::asio::execution::outstanding_work.tracked);
            auto shared = std::make_shared<decltype(handler)>(std::move(handler));
            Done<Answer> done = [shared, executor](std::exception_ptr failure, Answer answer) {
                boost::asio::post(executor,
                                  [shared, failure, answer = std::move(answer)]() mutable {
                                      std::move (*shared)(failure, std::move(answer));
                                  });
            };
            QMetaObject::invokeMethod(
                context.get(),
                [question, deadline, done = std::move(done)] { question(deadline, done); },
                Qt::QueuedConnection);
        },
        boost::asio::use_awaitable);
}

boost::asio::awaitable<std::optional<MediaPlayerState>> MprisClient::player(std::string busName) {
    return ask<std::optional<MediaPlayerState>>(
        [this, name = QString::fromStdString(busName)](QDeadlineTimer deadline, auto done) {
            askPlayer(name, deadline, std::move(done));
        });
}

boost::asio::awaitable<std::vector<MediaPlayerInstance>>
MprisClient::instances(std::string player) {
    return ask<std::vector<MediaPlayerInstance>>(
        [this, name = QString::fromStdString(player)](QDeadlineTimer deadline, auto done) {
            askInstances(name, deadline, std::move(done));
        });
}

void MprisClient::call(const QDBusMessage& message, QDeadlineTimer deadline,
                       std::function<void(const QDBusMessage&)> answered) {
    const auto left = deadline.remainingTime();
    if (left == 0) {
        answered(message.createErrorReply(QDBusError::Timeout, QStringLiteral("out of time")));
        return;
    }
    auto* watcher =
        new QDBusPendingCallWatcher(bus.asyncCall(message, static_cast<int>(left)), context.get());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context.get(),
                     [watcher, answered = std::move(answered)] {
                         watcher->deleteLater();
                         answered(watcher->reply());
                     });
}

void MprisClient::askPlayer(QString busName, QDeadlineTimer deadline,
                            Done<std::optional<MediaPlayerState>> done) {
    auto hasOwner = busCall(QStringLiteral("NameHasOwner"));
    hasOwner << busName;
    call(hasOwner, deadline, [this, busName, deadline, done](const QDBusMessage& reply) {
        if (isError(reply)) {
            done(failureOf(reply), std::nullopt);
        } else if (reply.arguments().value(0).metaType() != QMetaType::fromType<bool>()) {
            done(std::make_exception_ptr(SourceError::notAnswering), std::nullopt);
        } else if (!reply.arguments().value(0).toBool()) {
            done(nullptr, std::nullopt);
        } else {
            askState(busName, deadline, done);
        }
    });
}

void MprisClient::askState(QString busName, QDeadlineTimer deadline,
                           Done<std::optional<MediaPlayerState>> done) {
    auto getAll = QDBusMessage::createMethodCall(busName, playerPath,
                                                 QStringLiteral("org.freedesktop.DBus.Properties"),
                                                 QStringLiteral("GetAll"));
    getAll << playerInterface;
    // Asking must never start a player.
    getAll.setAutoStartService(false);
    call(getAll, deadline, [done](const QDBusMessage& reply) {
        if (isError(reply)) {
            done(playerIsGone(reply) ? nullptr : failureOf(reply), std::nullopt);
            return;
        }
        const auto properties = dictionary(reply.arguments().value(0));
        if (!properties) {
            done(std::make_exception_ptr(SourceError::notAnswering), std::nullopt);
            return;
        }
        done(nullptr, stateOf(*properties));
    });
}

void MprisClient::askInstances(QString player, QDeadlineTimer deadline,
                               Done<std::vector<MediaPlayerInstance>> done) {
    call(busCall(QStringLiteral("ListNames")), deadline,
         [this, player, deadline, done](const QDBusMessage& reply) {
             if (isError(reply)) {
                 done(failureOf(reply), {});
                 return;
             }
             QStringList names = reply.arguments().value(0).toStringList();
             names.sort();
             auto found = std::make_shared<std::vector<MediaPlayerInstance>>();
             for (const QString& name : names) {
                 if (MprisName::isOf(name.toStdString(), player.toStdString())) {
                     found->push_back({.busName = name.toStdString(), .state = {}});
                 }
             }
             askEach(found, 0, deadline, done);
         });
}

// One instance after the other; one that went away meanwhile is left out.
void MprisClient::askEach(std::shared_ptr<std::vector<MediaPlayerInstance>> found, std::size_t next,
                          QDeadlineTimer deadline, Done<std::vector<MediaPlayerInstance>> done) {
    if (next == found->size()) {
        std::erase_if(*found,
                      [](const MediaPlayerInstance& instance) { return instance.busName.empty(); });
        done(nullptr, std::move(*found));
        return;
    }
    askState(QString::fromStdString((*found)[next].busName), deadline,
             [this, found, next, deadline, done](std::exception_ptr failure,
                                                 std::optional<MediaPlayerState> state) {
                 if (failure) {
                     done(failure, {});
                     return;
                 }
                 if (state) {
                     (*found)[next].state = std::move(*state);
                 } else {
                     (*found)[next].busName.clear();
                 }
                 askEach(found, next + 1, deadline, done);
             });
}

} // namespace bridge
