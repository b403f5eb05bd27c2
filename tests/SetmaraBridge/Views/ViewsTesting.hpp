#pragma once

#include "SetmaraBridge/Model/ModelTesting.hpp"
#include "SetmaraBridge/QtPrinting.hpp"
#include "Support/TempFolder.hpp"

#include <QApplication>

#include <memory>
#include <ostream>
#include <string>

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
inline void settleAll() {
    for (int round = 0; round < 5; ++round) {
        settle();
    }
}

// A real model over the model tests' fakes, in the widget tests' QApplication.
struct ViewRig : ModelRig {
    std::unique_ptr<BridgeModel> model;

    ViewRig() {
        useApplication();
        model = std::make_unique<BridgeModel>(services());
        settleAll();
    }

    // Paired and set up to read `source`.
    void complete(Source source = Source::spotify, std::string pairedAs = {}) {
        model->update([&](BridgeSettings& settings) {
            settings.key = "bridge-key";
            settings.pairedAs = pairedAs;
            settings.source = source;
            settings.vdjPassword = "secret";
        });
        settleAll();
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
