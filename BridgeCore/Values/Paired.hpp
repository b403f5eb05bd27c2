#pragma once

#include <optional>
#include <string>

namespace bridge {

// The server's answer to a pairing code.
struct Paired {
    std::string key;
    std::string name;               // what the server calls this pairing
    std::optional<std::string> gig; // the gig the code was made for

    // The paired-as text: the name, with the gig when there is one.
    std::string summary() const;

    bool operator==(const Paired&) const = default;
};

} // namespace bridge
