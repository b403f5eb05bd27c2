#pragma once

#include <mutex>
#include <utility>

namespace bridge {

// A value shared between threads; every read or write of it takes its mutex.
template <class T>
class Locked {
public:
    explicit Locked(T value = T{}) : stored(std::move(value)) {}

    T get() const {
        std::lock_guard guard{lock};
        return stored;
    }

    void set(T value) {
        std::lock_guard guard{lock};
        stored = std::move(value);
    }

    // Sets the value and returns the one it replaces.
    T exchange(T value) {
        std::lock_guard guard{lock};
        return std::exchange(stored, std::move(value));
    }

private:
    mutable std::mutex lock;
    T stored;
};

} // namespace bridge
