#pragma once

#include "Assembly/EngineRecipe.hpp"
#include "Engine/BridgeStatus.hpp"
#include "Values/Paired.hpp"

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace bridge {

// The bridge loop as the application sees it: requests go in, in the order they are made,
// and statuses and answers come out on the bridge thread. The DJ's actions and the pairing
// exchange run one after another, each once those before it have ended. Keeps Asio out of the
// application's headers and lets tests stand in for the core.
class LoopControl {
public:
    using Show = std::function<void(BridgeStatus)>;
    using Answer = std::function<void(std::optional<Paired>, std::exception_ptr)>;

    virtual ~LoopControl() = default;

    // Runs the recipe's engine in place of the current one; without a recipe, none.
    virtual void start(std::optional<EngineRecipe> recipe) = 0;
    virtual void setSharing(bool on) = 0;
    virtual void hideCurrent() = 0;
    virtual void undoLast() = 0;
    virtual void endGig() = 0;
    // Exchanges a pairing code for a key; answers with the key or the failure.
    virtual void pair(std::string code, std::string server, Answer answer) = 0;
};

} // namespace bridge
