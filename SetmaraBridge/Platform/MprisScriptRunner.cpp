#include "Platform/MprisScriptRunner.hpp"

#include "Readers/SpotifyReader.hpp"

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

#include <algorithm>
#include <optional>

namespace bridge {

namespace {

const QString spotifyService = QStringLiteral("org.mpris.MediaPlayer2.spotify");
const QString playerPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString playerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString spotifyPath = QStringLiteral("/com/spotify/");

// What the script gives for a value the player does not have.
constexpr std::string_view missingValue = "missing value";

bool isError(const QDBusMessage& message) {
    return message.type() == QDBusMessage::ErrorMessage;
}

bool playerIsGone(const QDBusMessage& error) {
    return error.errorName() == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
           error.errorName() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner");
}

std::exception_ptr failureOf(const QDBusMessage& error) {
    if (error.errorName() == QLatin1String("org.freedesktop.DBus.Error.AccessDenied")) {
        return std::make_exception_ptr(ScriptError::notAllowed);
    }
    return std::make_exception_ptr(ScriptError::failed);
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

// A reply field: tabs would split it, so they become blanks.
std::string field(const QString& text) {
    std::string result = text.toStdString();
    std::replace(result.begin(), result.end(), '\t', ' ');
    return result;
}

std::string text(const QVariantMap& metadata, const QString& key) {
    const QVariant value = metadata.value(key);
    return value.metaType() == QMetaType::fromType<QString>() ? field(value.toString())
                                                              : std::string();
}

// The Spotify URI of the item, which Spotify gives as the URI itself or as the object path
// /com/spotify/<kind>/<id> (tracks, episodes, ads, local files). The URI separates the parts
// of an id by colons where the path has slashes.
std::string trackId(const QVariantMap& metadata) {
    const QVariant value = metadata.value(QStringLiteral("mpris:trackid"));
    QString id;
    if (value.metaType() == QMetaType::fromType<QDBusObjectPath>()) {
        id = value.value<QDBusObjectPath>().path();
    } else if (value.metaType() == QMetaType::fromType<QString>()) {
        id = value.toString();
    }
    const auto kindEnd = id.indexOf(QLatin1Char('/'), spotifyPath.size());
    if (id.startsWith(spotifyPath) && kindEnd > spotifyPath.size()) {
        id = QStringLiteral("spotify:") +
             id.mid(spotifyPath.size()).replace(QLatin1Char('/'), QLatin1Char(':'));
    }
    return field(id);
}

std::string artists(const QVariantMap& metadata) {
    const QVariant value = metadata.value(QStringLiteral("xesam:artist"));
    if (value.metaType() == QMetaType::fromType<QStringList>()) {
        return field(value.toStringList().join(QStringLiteral(", ")));
    }
    if (value.metaType() == QMetaType::fromType<QString>()) {
        return field(value.toString());
    }
    return {};
}

// The length in whole milliseconds; the player gives microseconds.
std::string lengthMs(const QVariantMap& metadata) {
    const QVariant value = metadata.value(QStringLiteral("mpris:length"));
    if (value.metaType() == QMetaType::fromType<qlonglong>() && value.toLongLong() >= 0) {
        return std::to_string(value.toLongLong() / 1000);
    }
    if (value.metaType() == QMetaType::fromType<qulonglong>()) {
        return std::to_string(value.toULongLong() / 1000);
    }
    return std::string(missingValue);
}

// The script's reply for the player's properties; absent when they make no sense.
std::optional<std::string> replyFor(const QVariantMap& properties) {
    const QVariant status = properties.value(QStringLiteral("PlaybackStatus"));
    if (status.metaType() != QMetaType::fromType<QString>()) {
        return std::nullopt;
    }
    const QString state = status.toString();
    if (state == QLatin1String("Stopped")) {
        return "stopped";
    }
    if (state != QLatin1String("Playing") && state != QLatin1String("Paused")) {
        return std::nullopt;
    }
    const auto metadata = dictionary(properties.value(QStringLiteral("Metadata")));
    if (!metadata) {
        return std::nullopt;
    }
    return field(state.toLower()) + '\t' + trackId(*metadata) + '\t' +
           text(*metadata, QStringLiteral("xesam:title")) + '\t' + artists(*metadata) + '\t' +
           lengthMs(*metadata);
}

} // namespace

MprisScriptRunner::MprisScriptRunner(QDBusConnection bus, std::chrono::milliseconds timeout)
    : bus(std::move(bus)), timeoutMs(static_cast<int>(timeout.count())),
      context(std::make_unique<QObject>()) {}

MprisScriptRunner::~MprisScriptRunner() = default;

boost::asio::awaitable<std::string> MprisScriptRunner::run(std::string script) {
    if (script != SpotifyReader::script) {
        throw ScriptError::failed;
    }
    // One limit for the whole run, however its calls share it.
    const QDeadlineTimer deadline(timeoutMs);
    co_return co_await boost::asio::async_initiate<const boost::asio::use_awaitable_t<>&,
                                                   void(std::exception_ptr, std::string)>(
        [this, deadline](auto handler) {
            // The bridge thread's context must not run out of work while the Qt thread asks.
            auto executor = boost::asio::prefer(boost::asio::get_associated_executor(handler),
                                                boost::asio::execution::outstanding_work.tracked);
            auto shared = std::make_shared<decltype(handler)>(std::move(handler));
            Done done = [shared, executor](std::exception_ptr failure, std::string reply) {
                boost::asio::post(executor, [shared, failure, reply = std::move(reply)]() mutable {
                    std::move (*shared)(failure, std::move(reply));
                });
            };
            QMetaObject::invokeMethod(
                context.get(), [this, deadline, done = std::move(done)] { ask(deadline, done); },
                Qt::QueuedConnection);
        },
        boost::asio::use_awaitable);
}

void MprisScriptRunner::call(const QDBusMessage& message, QDeadlineTimer deadline,
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

void MprisScriptRunner::ask(QDeadlineTimer deadline, Done done) {
    auto hasOwner = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    hasOwner << spotifyService;
    call(hasOwner, deadline, [this, deadline, done](const QDBusMessage& reply) {
        if (isError(reply)) {
            done(failureOf(reply), {});
        } else if (reply.arguments().value(0).metaType() != QMetaType::fromType<bool>()) {
            done(std::make_exception_ptr(ScriptError::failed), {});
        } else if (!reply.arguments().value(0).toBool()) {
            done(nullptr, "not running");
        } else {
            askPlayer(deadline, done);
        }
    });
}

void MprisScriptRunner::askPlayer(QDeadlineTimer deadline, Done done) {
    auto getAll = QDBusMessage::createMethodCall(spotifyService, playerPath,
                                                 QStringLiteral("org.freedesktop.DBus.Properties"),
                                                 QStringLiteral("GetAll"));
    getAll << playerInterface;
    // Asking must never start Spotify.
    getAll.setAutoStartService(false);
    call(getAll, deadline, [done](const QDBusMessage& reply) {
        if (isError(reply)) {
            if (playerIsGone(reply)) {
                done(nullptr, "not running");
            } else {
                done(failureOf(reply), {});
            }
            return;
        }
        const auto properties = dictionary(reply.arguments().value(0));
        const auto answer = properties ? replyFor(*properties) : std::nullopt;
        if (!answer) {
            done(std::make_exception_ptr(ScriptError::failed), {});
            return;
        }
        done(nullptr, *answer);
    });
}

} // namespace bridge
