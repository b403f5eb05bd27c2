#include "Values/Paired.hpp"

namespace bridge {

std::string Paired::summary() const {
    return gig ? name + ", playing at " + *gig : name;
}

} // namespace bridge
