#include "PlayQueue/Entry.hpp"

namespace bridge {

bool Entry::owesServer() const {
    if (!gigId || notTaken) {
        return false;
    }
    if (!removed) {
        return !sent || hidden != hiddenOnServer;
    }
    return sent && !removedOnServer;
}

bool Entry::isSettled() const {
    if (notTaken) {
        return true;
    }
    if (!removed) {
        return sent && hidden == hiddenOnServer;
    }
    return !sent || removedOnServer;
}

QueuedPlay::Status Entry::status() const {
    if (notTaken) {
        return QueuedPlay::Status::notTaken;
    }
    if (hidden) {
        return QueuedPlay::Status::hidden;
    }
    if (sent) {
        return QueuedPlay::Status::sent;
    }
    if (refusals > 0) {
        return QueuedPlay::Status::refused;
    }
    return QueuedPlay::Status::queued;
}

} // namespace bridge
