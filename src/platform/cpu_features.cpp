// What the processor offers the CRC-32 kernels, asked once. An x86-64 processor says itself
// (cpuid, and xgetbv for the vector state the system must save); an ARM64 one only through
// its system (posix/cpu_posix.cpp, win32/cpu_win32.cpp).
#include "platform/cpu_arm.h"
#include "platform/platform.h"

namespace {

unsigned detect() {
    unsigned features = 0;
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    __builtin_cpu_init();
    if (__builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1"))
        features |= PLAT_CPU_PCLMUL;
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
        __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("vpclmulqdq"))
        features |= PLAT_CPU_VPCLMUL;
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("vpclmulqdq"))
        features |= PLAT_CPU_VPCLMUL_AVX2;
#elif defined(__aarch64__)
    features = arm_cpu_features();
#endif
    return features;
}

} // namespace

unsigned plat_cpu_features() {
    static const unsigned features = detect();
    return features;
}
