#pragma once

#include "Model/LoopControl.hpp"

#include <memory>

namespace bridge {

// The core on a thread of its own: one io_context, driven by one thread, running the
// bridge loop. Requests are posted to it in order; `show` and every answer run on that thread.
// Ending it stops the loop, waits briefly for it, and joins the thread.
class BridgeThread : public LoopControl {
public:
    explicit BridgeThread(Show show);
    ~BridgeThread() override;
    BridgeThread(const BridgeThread&) = delete;
    BridgeThread& operator=(const BridgeThread&) = delete;

    void start(std::optional<EngineRecipe> recipe) override;
    void setSharing(bool on) override;
    void hideCurrent() override;
    void undoLast() override;
    void endGig() override;
    void pair(std::string code, std::string server, Answer answer) override;

private:
    struct Core;
    std::unique_ptr<Core> core;
};

} // namespace bridge
