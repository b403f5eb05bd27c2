#pragma once

// The whole bridge chosen in the Source pane and delivering to the gig server stand-in.
#include "GigServerStandIn.hpp"
#include "Model/BridgeThread.hpp"
#include "SetmaraBridge/Model/ModelTesting.hpp"

#include <QComboBox>

namespace bridge::testing {

// Chooses an item by its text, as a click on it does.
inline bool choose(QComboBox& picker, const QString& text) {
    const int index = picker.findText(text);
    if (index < 0) {
        return false;
    }
    picker.setCurrentIndex(index);
    Q_EMIT picker.activated(index);
    return true;
}

// A set-up bridge whose engine runs on its own thread, as in the application, paired with
// the stand-in and sharing to its live gig.
struct BridgeOnStandIn {
    BridgeOnStandIn() {
        rig.storeComplete();
        rig.preferences->setValue("advanced", "true");
        rig.preferences->setValue("serverURL", QString::fromStdString(server.url()));
        rig.preferences->sync();
        rig.secrets->items["bridge-key"] = server.makeKey();
    }

    BridgeModel::Services services() {
        auto services = rig.services();
        services.makeLoop = [](LoopControl::Show show) {
            return std::make_unique<BridgeThread>(std::move(show));
        };
        return services;
    }

    // Whether the latest play has reached the gig.
    static bool sent(const BridgeModel& model) {
        const auto& recent = model.status().recent;
        return !recent.empty() && recent.front().status == QueuedPlay::Status::sent;
    }

    GigServerStandIn server;
    const Gig gig = server.startGig({.name = "Friday Milonga"});
    ModelRig rig;
};

} // namespace bridge::testing
