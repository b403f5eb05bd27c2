#pragma once

#include "StageLinQ/StageLinQ.hpp"
#include "Values/VDJSnapshot.hpp"

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace bridge {

// The state values of the followed Denon devices, and the decks they make.
class StageLinQDecks {
public:
    void add(const StageLinQ::Bytes& token, const std::string& software);
    // Keeps the latest value of a followed path.
    void apply(const StageLinQ::Bytes& token, const std::string& software, const std::string& name,
               const StageLinQ::StateValue& value);
    void remove(const StageLinQ::Bytes& token);

    // All decks of all devices, numbered one after another in the order of the devices'
    // player numbers.
    VDJSnapshot snapshot() const;

private:
    using States = std::map<std::string, StageLinQ::StateValue, std::less<>>;

    struct Entry {
        std::string software;
        States states;
        bool mixer = false; // has reported an external mixer volume above 0
    };

    std::optional<int> player(const StageLinQ::Bytes& token) const;
    static double volume(const States& states, bool mixer, int deck);

    std::map<StageLinQ::Bytes, Entry> devices;
};

} // namespace bridge
