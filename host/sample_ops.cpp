#include "host/sample_ops.h"

#include <atomic>

namespace klv::dsp {
namespace {

bool wideSupported() noexcept {
#if KLV_WIDE_CODE
    // Also asks whether the system saves the AVX-512 registers.
    __builtin_cpu_init();
    return __builtin_cpu_supports("x86-64-v4");
#else
    return false;
#endif
}

const bool kWideSupported = wideSupported();
std::atomic<bool> wideAllowed{true};

}  // namespace

bool wideCode() noexcept {
    return kWideSupported && wideAllowed.load(std::memory_order_relaxed);
}

void allowWideCode(bool allow) noexcept {
    wideAllowed.store(allow, std::memory_order_relaxed);
}

}  // namespace klv::dsp
