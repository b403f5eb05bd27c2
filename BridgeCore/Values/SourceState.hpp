#pragma once

namespace bridge {

// The state of the source as the engine last saw it.
enum class SourceState { starting, connected, notAllowed, notAnswering };

// How a state looks to the user; the interface picks a colour for each.
enum class Tone { ok, waiting, warning };

constexpr Tone tone(SourceState state) {
    switch (state) {
    case SourceState::connected:
        return Tone::ok;
    case SourceState::starting:
        return Tone::waiting;
    case SourceState::notAllowed:
    case SourceState::notAnswering:
        return Tone::warning;
    }
    return Tone::warning;
}

} // namespace bridge
