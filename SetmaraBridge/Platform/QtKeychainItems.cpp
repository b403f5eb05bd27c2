#include "Platform/QtKeychainItems.hpp"

#include "Platform/QtText.hpp"

#include <QObject>
#include <QThread>
#include <qt6keychain/keychain.h>

#include <functional>
#include <future>

namespace bridge {

namespace {

const QString service = QStringLiteral("app.setmara.Bridge");

// The status of a job that did not end in time (QtKeychain's errors are 0 and up).
constexpr std::int32_t timedOut = -1;

struct Outcome {
    QKeychain::Error error;
    std::string text;
};

KeychainResult resultOf(QKeychain::Error error) {
    switch (error) {
    case QKeychain::NoError:
        return KeychainResult::done;
    case QKeychain::EntryNotFound:
        return KeychainResult::notFound;
    default:
        return KeychainResult::failed(static_cast<std::int32_t>(error));
    }
}

// QtKeychain hands its jobs on through one object per process, which lives in the thread
// of the first job ever started and never moves: a second thread's jobs would wait for it
// forever once the first thread ended. So every job of the process runs on this one thread,
// which lasts until the program exits.
class KeychainThread {
public:
    // On the keychain thread; the parent of every job.
    static QObject* context() {
        static KeychainThread shared;
        return shared.jobs;
    }

    ~KeychainThread() {
        thread.quit();
        thread.wait();
    }

private:
    KeychainThread() : jobs(new QObject) {
        jobs->moveToThread(&thread);
        QObject::connect(&thread, &QThread::finished, jobs, &QObject::deleteLater);
        thread.start();
    }

    QThread thread;
    QObject* jobs;
};

// Makes a job on the keychain thread, starts it there and waits for its end at most
// `limit`. Absent when it did not end in time. `make` may run after a caller that ran out
// of time has gone, so it holds copies of what it needs.
std::optional<Outcome> run(std::chrono::milliseconds limit,
                           std::function<QKeychain::Job*(QObject* parent)> make) {
    QObject* context = KeychainThread::context();
    auto promise = std::make_shared<std::promise<Outcome>>();
    auto future = promise->get_future();
    QMetaObject::invokeMethod(context, [context, make = std::move(make), promise] {
        QKeychain::Job* job = make(context);
        QObject::connect(job, &QKeychain::Job::finished, [promise](QKeychain::Job* done) {
            auto* reading = qobject_cast<QKeychain::ReadPasswordJob*>(done);
            promise->set_value(
                {done->error(), reading != nullptr ? reading->textData().toStdString() : ""});
        });
        job->start();
    });
    if (future.wait_for(limit) != std::future_status::ready) {
        return std::nullopt;
    }
    return future.get();
}

} // namespace

QtKeychainItems::QtKeychainItems(std::chrono::milliseconds limit) : limit(limit) {}

std::optional<std::string> QtKeychainItems::read(const std::string& account) {
    const auto outcome = run(limit, [key = qText(account)](QObject* parent) {
        auto* job = new QKeychain::ReadPasswordJob(service, parent);
        job->setKey(key);
        return job;
    });
    if (!outcome || outcome->error != QKeychain::NoError) {
        return std::nullopt;
    }
    return outcome->text;
}

KeychainResult QtKeychainItems::add(const std::string& account, const std::string& value) {
    return write(account, value);
}

KeychainResult QtKeychainItems::update(const std::string& account, const std::string& value) {
    return write(account, value);
}

KeychainResult QtKeychainItems::write(const std::string& account, const std::string& value) {
    const auto outcome = run(limit, [key = qText(account), data = qText(value)](QObject* parent) {
        auto* job = new QKeychain::WritePasswordJob(service, parent);
        job->setKey(key);
        job->setTextData(data);
        return job;
    });
    return outcome ? resultOf(outcome->error) : KeychainResult::failed(timedOut);
}

KeychainResult QtKeychainItems::remove(const std::string& account) {
    const auto outcome = run(limit, [key = qText(account)](QObject* parent) {
        auto* job = new QKeychain::DeletePasswordJob(service, parent);
        job->setKey(key);
        return job;
    });
    return outcome ? resultOf(outcome->error) : KeychainResult::failed(timedOut);
}

} // namespace bridge
