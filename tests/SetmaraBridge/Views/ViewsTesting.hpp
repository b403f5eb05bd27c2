#pragma once

#include "Model/BridgeModel.hpp"
#include "Platform/Alerting.hpp"
#include "SetmaraBridge/Settings/FakeKeychain.hpp"
#include "Support/TempFolder.hpp"

#include <QApplication>
#include <QCoreApplication>
#include <QSettings>
#include <QUrl>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

// Texts in test failures as text.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace bridge::testing {

// The process's one QApplication with a runtime folder of its own; offscreen unless the
// caller runs it on a display.
inline void useApplication(bool offscreen = true) {
    if (QCoreApplication::instance() != nullptr) {
        return;
    }
    static TempFolder runtime;
    if (offscreen) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    static int argc = 1;
    static char name[] = "ViewsTests";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv); // for the whole run
}

// Runs the events that are already waiting (the model's queued completions).
inline void settle() {
    for (int round = 0; round < 5; ++round) {
        QCoreApplication::processEvents();
    }
}

// The loop as a record of requests; pairing answers when the test says so.
class FakeLoop : public LoopControl {
public:
    std::vector<std::string> requests;
    std::vector<LoopControl::Answer> pairings;

    void start(std::optional<EngineRecipe> recipe, Done done) override {
        requests.push_back(recipe ? "start " + std::string(recipe->source.raw()) : "start none");
        done();
    }
    void setSharing(bool on, Done done) override {
        requests.push_back(on ? "setSharing on" : "setSharing off");
        done();
    }
    void hideCurrent(Done done) override {
        requests.push_back("hideCurrent");
        done();
    }
    void undoLast(Done done) override {
        requests.push_back("undoLast");
        done();
    }
    void endGig(Done done) override {
        requests.push_back("endGig");
        done();
    }
    void pair(std::string code, std::string server, Answer answer) override {
        requests.push_back("pair " + code + " " + server);
        pairings.push_back(std::move(answer));
    }
};

class FakeAlerts : public Alerting {
public:
    std::vector<Alert> shown;
    void show(const Alert& alert, std::function<void(int)> answered) override {
        shown.push_back(alert);
        answered(-1);
    }
};

// A real model over fakes: preferences in a temporary file, secrets in memory, links recorded.
class ModelRig {
public:
    TempFolder folder;
    std::shared_ptr<FakeKeychain> keychain = std::make_shared<FakeKeychain>();
    std::shared_ptr<FakeAlerts> alerts = std::make_shared<FakeAlerts>();
    std::vector<QUrl> links;
    FakeLoop* loop = nullptr; // owned by the model
    std::unique_ptr<BridgeModel> model;

    ModelRig() {
        useApplication();
        model = std::make_unique<BridgeModel>(services());
        settle();
    }

    // Paired and set up to read `source`.
    void complete(Source source = Source::spotify, std::string pairedAs = {}) {
        model->update([&](BridgeSettings& settings) {
            settings.key = "bridge-key";
            settings.pairedAs = pairedAs;
            settings.source = source;
            settings.vdjPassword = "secret";
        });
        settle();
    }

private:
    BridgeModel::Services services() {
        BridgeModel::Services made;
        made.preferences = std::make_shared<QSettings>(
            QString::fromStdString((folder / "bridge.conf").string()), QSettings::IniFormat);
        made.secrets = keychain;
        made.alerts = alerts;
        made.openLink = [this](const QUrl& url) { links.push_back(url); };
        made.openPrivacySettings = [](std::string_view) {};
        made.makeLoop = [this](LoopControl::Show) {
            auto made = std::make_unique<FakeLoop>();
            loop = made.get();
            return made;
        };
        made.djayIsRunning = [] { return false; };
        made.mixxxIsRunning = [] { return false; };
        made.queueFile = folder / "queue.json";
        return made;
    }
};

inline Gig friday() {
    return Gig{.id = 7,
               .slug = "friday",
               .name = "Friday Milonga",
               .venue = "Salón Canning",
               .sharing = true,
               .url = "https://setmara.app/g/friday-milonga",
               .screenUrl = std::nullopt};
}

inline QueuedPlay play(std::string title, std::string artist, QueuedPlay::Status status) {
    QueuedPlay made;
    made.event.id = title;
    made.event.title = std::move(title);
    made.event.artist = std::move(artist);
    made.status = status;
    return made;
}

// A live gig with two decks and songs in every delivery state.
inline BridgeStatus liveGig() {
    BridgeStatus status;
    status.source = SourceState::connected;
    status.server = BridgeStatus::Server::connected;
    status.gig = friday();
    status.decks = {DeckRow{.deck = 1,
                            .title = "La cumparsita",
                            .artist = "Juan D’Arienzo",
                            .bpm = 122.4,
                            .key = "Am",
                            .onAir = true},
                    DeckRow{.deck = 2,
                            .title = "Poema",
                            .artist = "Francisco Canaro",
                            .bpm = std::nullopt,
                            .key = std::nullopt,
                            .onAir = false}};
    status.recent = {play("Poema", "Francisco Canaro", QueuedPlay::Status::queued),
                     play("La yumba", "Osvaldo Pugliese", QueuedPlay::Status::sent),
                     play("Gallo ciego", "Osvaldo Pugliese", QueuedPlay::Status::hidden),
                     play("Quejas de bandoneón", "Aníbal Troilo", QueuedPlay::Status::refused),
                     play("El flete", "Juan D’Arienzo", QueuedPlay::Status::notTaken)};
    status.recent[3].refusal = "The gig doesn’t take songs from this bridge.";
    return status;
}

} // namespace bridge::testing
