#pragma once

#include "Model/BridgeModel.hpp"
#include "Platform/Alerting.hpp"
#include "SetmaraBridge/Settings/FakeKeychain.hpp"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace bridge::testing {

// Alerts that the test answers: each is recorded and answered with `choice` at once.
class AnsweringAlerts : public Alerting {
public:
    std::vector<Alert> shown;
    int choice = 0;

    void show(const Alert& alert, std::function<void(int)> answered) override {
        shown.push_back(alert);
        if (answered) {
            answered(choice);
        }
    }
};

// A loop that records what reaches it.
class RecordingLoop : public LoopControl {
public:
    struct Shared {
        std::vector<std::string> requests;
        std::vector<std::optional<EngineRecipe>> starts;
        std::vector<std::pair<std::string, std::string>> pairings;
        Answer pairAnswer;
        Show show;
    };

    explicit RecordingLoop(std::shared_ptr<Shared> shared) : shared(std::move(shared)) {}

    void start(std::optional<EngineRecipe> recipe) override {
        shared->starts.push_back(recipe);
        shared->requests.emplace_back(recipe ? "start" : "start without engine");
    }
    void setSharing(bool on) override {
        shared->requests.emplace_back(on ? "sharing on" : "sharing off");
    }
    void hideCurrent() override { shared->requests.emplace_back("hide"); }
    void undoLast() override { shared->requests.emplace_back("undo"); }
    void endGig() override { shared->requests.emplace_back("end gig"); }
    void pair(std::string code, std::string server, Answer answer) override {
        shared->pairings.emplace_back(std::move(code), std::move(server));
        shared->pairAnswer = std::move(answer);
    }

private:
    std::shared_ptr<Shared> shared;
};

// A model over a preferences file in a temporary folder, secrets in memory, answered alerts,
// recorded links and a recording loop.
struct ModelRig {
    QTemporaryDir folder;
    std::shared_ptr<QSettings> preferences = std::make_shared<QSettings>(
        folder.filePath(QStringLiteral("SetmaraBridge.conf")), QSettings::IniFormat);
    std::shared_ptr<FakeKeychain> secrets = std::make_shared<FakeKeychain>();
    std::shared_ptr<AnsweringAlerts> alerts = std::make_shared<AnsweringAlerts>();
    std::shared_ptr<RecordingLoop::Shared> loop = std::make_shared<RecordingLoop::Shared>();
    std::vector<QUrl> opened;
    std::vector<std::string> privacyPanes;

    BridgeModel::Services services() {
        return BridgeModel::Services{
            .preferences = preferences,
            .secrets = secrets,
            .alerts = alerts,
            .openLink = [this](const QUrl& url) { opened.push_back(url); },
            .openPrivacySettings =
                [this](std::string_view pane) { privacyPanes.emplace_back(pane); },
            .makeLoop =
                [shared = loop](LoopControl::Show show) {
                    shared->show = std::move(show);
                    return std::make_unique<RecordingLoop>(shared);
                },
            .makeMediaPlayers = {},
            .djayIsRunning = [] { return false; },
            .mixxxIsRunning = [] { return false; },
            .queueFile = folder.filePath(QStringLiteral("queue.json")).toStdString(),
        };
    }

    // Every secret write fails, or none.
    void failSecrets(bool failing) {
        secrets->refused.clear();
        if (failing) {
            for (const char* operation : {"add", "update", "remove"}) {
                secrets->refused.emplace(operation, KeychainResult::failed(-1));
            }
        }
    }

    // Stored settings for the model to load: paired, reading VirtualDJ.
    void storeComplete() {
        preferences->setValue("source", "virtualdj");
        preferences->setValue("vdjPort", 8080);
        preferences->setValue("pairedAs", "Friday");
        preferences->sync();
        secrets->items["bridge-key"] = "key-1";
        secrets->items["virtualdj-password"] = "secret";
    }
};

// The process's Qt application, made on first use.
inline void needQt() {
    static int argc = 1;
    static char name[] = "ModelTests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
}

// Runs Qt's events until `done` holds or `seconds` have passed.
inline bool waitFor(const std::function<bool()>& done, int seconds) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > seconds * 1000) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(20);
    }
    return true;
}

// Runs the queued calls that came back to the main thread.
inline void settle() {
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

} // namespace bridge::testing
