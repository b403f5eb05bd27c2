#pragma once

#include "Settings/KeychainResult.hpp"

#include <ostream>

namespace bridge {

// For test failures: "done", "failed(-1)", ...
inline void PrintTo(const KeychainResult& result, std::ostream* out) {
    static constexpr const char* names[] = {"failed", "done", "notFound", "duplicate"};
    *out << names[static_cast<int>(result.kind())];
    if (result.kind() == KeychainResult::Kind::failed) {
        *out << "(" << result.status() << ")";
    }
}

} // namespace bridge
