#include "tests/support/alloc_counter.h"

#include <cstdlib>
#include <new>

namespace {
thread_local std::size_t allocations = 0;
thread_local int activeCounters = 0;
thread_local int failing = 0;

void* tryAllocate(std::size_t size) noexcept {
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

AllocationFailure::AllocationFailure() {
    ++failing;
}
AllocationFailure::~AllocationFailure() {
    --failing;
}

}  // namespace klv::test
