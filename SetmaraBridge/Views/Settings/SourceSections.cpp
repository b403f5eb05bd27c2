#include "Views/Settings/SourceSections.hpp"

#include "Views/Settings/MusicPlayerControls.hpp"
#include "Views/Settings/VirtualDJControls.hpp"

namespace bridge {

QWidget* sourceControls(Source source, BridgeModel& model, QWidget* parent) {
    switch (source) {
    case Source::virtualDJ:
        return new VirtualDJControls(model, parent);
    case Source::musicPlayer:
        return new MusicPlayerControls(model, parent);
    case Source::spotify:
    case Source::djay:
    case Source::mixxx:
    case Source::whatsNowPlaying:
    case Source::denon:
    case Source::proDJLink:
        return nullptr;
    }
    return nullptr;
}

} // namespace bridge
