#pragma once

#include "Values/Source.hpp"

class QWidget;

namespace bridge {

class BridgeModel;

// The controls of a source's own section of the Source pane, under its help text, or none
// for a source that needs nothing but being chosen. They write through the model and follow
// its settings by themselves.
QWidget* sourceControls(Source source, BridgeModel& model, QWidget* parent);

} // namespace bridge
