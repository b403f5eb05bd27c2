#pragma once

#include "Engine/BridgeStatus.hpp"
#include "Engine/EngineRecipe.hpp"
#include "Server/Paired.hpp"

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace bridge {

// The bridge loop as the application sees it: requests go in, completions and statuses
// come out on the bridge thread. Keeps Asio out of the application's headers and lets
// tests stand in for the core.
class LoopControl {
public:
    using Done = std::function<void()>;
    using Show = std::function<void(BridgeStatus)>;
    using Answer = std::function<void(std::optional<Paired>, std::exception_ptr)>;

    virtual ~LoopControl() = default;

    // Runs the recipe's engine in place of the current one; without a recipe, none.
    virtual void start(std::optional<EngineRecipe> recipe, Done done) = 0;
    virtual void setSharing(bool on, Done done) = 0;
    virtual void hideCurrent(Done done) = 0;
    virtual void undoLast(Done done) = 0;
    virtual void endGig(Done done) = 0;
    // Exchanges a pairing code for a key; answers with the key or the failure.
    virtual void pair(std::string code, std::string server, Answer answer) = 0;
};

} // namespace bridge
