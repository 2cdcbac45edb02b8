// A value one thread writes and another reads without a lock, each access a
// relaxed atomic one: on these targets a plain load or store, and no data
// race for thread sanitizers. Reads and writes look like a plain value's.
#pragma once

#include <atomic>

namespace klv {

template <typename T>
class Relaxed {
public:
    constexpr Relaxed() noexcept : value_(T{}) {}
    constexpr Relaxed(T value) noexcept : value_(value) {}  // NOLINT: converts like the plain value
    Relaxed(const Relaxed&) = delete;
    Relaxed& operator=(const Relaxed&) = delete;

    operator T() const noexcept { return value_.load(std::memory_order_relaxed); }
    Relaxed& operator=(T value) noexcept {
        value_.store(value, std::memory_order_relaxed);
        return *this;
    }

private:
    std::atomic<T> value_;
};

}  // namespace klv
