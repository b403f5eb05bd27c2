#pragma once

#include <chrono>

namespace bridge {

using Seconds = std::chrono::duration<double>;

// Wall-clock time counted in seconds from 2001-01-01T00:00:00Z. The queue file stores
// instants in this form, so keeping it as the in-memory form makes file round trips exact.
struct ReferenceClock {
    using rep = double;
    using period = std::ratio<1>;
    using duration = Seconds;
    using time_point = std::chrono::time_point<ReferenceClock>;
    static constexpr bool is_steady = false;

    // 2001-01-01T00:00:00Z in seconds since 1970-01-01T00:00:00Z.
    static constexpr Seconds unixEpochOffset{978'307'200.0};

    static time_point now() noexcept {
        return time_point{Seconds{std::chrono::system_clock::now().time_since_epoch()} -
                          unixEpochOffset};
    }
};

using Instant = ReferenceClock::time_point;

inline Instant instantFromReferenceSeconds(double seconds) {
    return Instant{Seconds{seconds}};
}

inline double referenceSeconds(Instant instant) {
    return instant.time_since_epoch().count();
}

// Whether a wait of `wait` that began at `since` is over at `now`. A `now` before `since`
// means the wall clock was set back: the wait is over, so that a clock change never stalls.
inline bool waitIsOver(Instant since, Seconds wait, Instant now) {
    return now < since || now - since >= wait;
}

} // namespace bridge
