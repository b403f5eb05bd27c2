#pragma once

#include "Values/PlayEvent.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace bridge {

// A play as the status shows it, with its delivery state.
struct QueuedPlay {
    enum class Status { queued, sent, hidden, refused, notTaken };

    PlayEvent event;
    Status status = Status::queued;
    std::optional<std::string> refusal; // the server's last refusal message

    bool operator==(const QueuedPlay&) const = default;
};

constexpr std::string_view text(QueuedPlay::Status status) {
    switch (status) {
    case QueuedPlay::Status::queued:
        return "queued";
    case QueuedPlay::Status::sent:
        return "sent";
    case QueuedPlay::Status::hidden:
        return "hidden";
    case QueuedPlay::Status::refused:
        return "refused";
    case QueuedPlay::Status::notTaken:
        return "notTaken";
    }
    return {};
}

} // namespace bridge
