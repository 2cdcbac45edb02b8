// Counts heap allocations made on the calling thread while a scope is alive,
// through a replacement of the global operator new linked into the test.
#pragma once

#include <cstddef>

namespace klv::test {

class AllocationCounter {
public:
    AllocationCounter();
    ~AllocationCounter();
    AllocationCounter(const AllocationCounter&) = delete;
    AllocationCounter& operator=(const AllocationCounter&) = delete;
    std::size_t count() const;

private:
    std::size_t start_;
};

// Every heap allocation of the process so far, on any thread (for code that
// hands its work to threads of its own).
std::size_t allocationsInProcess();

// While alive, every heap allocation on the calling thread fails (the
// nothrow forms answer null), to exercise what code does when memory runs out.
class AllocationFailure {
public:
    AllocationFailure();
    ~AllocationFailure();
    AllocationFailure(const AllocationFailure&) = delete;
    AllocationFailure& operator=(const AllocationFailure&) = delete;
};

}  // namespace klv::test
