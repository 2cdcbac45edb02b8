#include "tests/support/alloc_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
thread_local std::size_t allocations = 0;
thread_local int activeCounters = 0;
thread_local int failing = 0;
std::atomic<std::size_t> processAllocations{0};

void* tryAllocate(std::size_t size) noexcept {
    processAllocations.fetch_add(1, std::memory_order_relaxed);
    if (activeCounters > 0) ++allocations;
    return failing > 0 ? nullptr : std::malloc(size ? size : 1);
}

void* allocate(std::size_t size) {
    if (void* p = tryAllocate(size)) return p;
    throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t size) {
    return allocate(size);
}
void* operator new[](std::size_t size) {
    return allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return tryAllocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return tryAllocate(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
// Memory a library takes with one form and gives back with another still
// pairs up (the aligned forms stay the library's, new and delete alike).
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}

namespace klv::test {

AllocationCounter::AllocationCounter() : start_(allocations) {
    ++activeCounters;
}
AllocationCounter::~AllocationCounter() {
    --activeCounters;
}
std::size_t AllocationCounter::count() const {
    return allocations - start_;
}

std::size_t allocationsInProcess() {
    return processAllocations.load(std::memory_order_relaxed);
}

AllocationFailure::AllocationFailure() {
    ++failing;
}
AllocationFailure::~AllocationFailure() {
    --failing;
}

}  // namespace klv::test
