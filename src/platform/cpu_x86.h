// What an x86-64 processor offers the CRC-32 kernels: cpuid, and for the vector state xgetbv
// (the operating system must save it), through the compiler's builtins on every system.
#pragma once

#include "platform/platform.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
inline unsigned x86_cpu_features() {
    unsigned features = 0;
    __builtin_cpu_init();
    if (__builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1"))
        features |= PLAT_CPU_PCLMUL;
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
        __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("vpclmulqdq"))
        features |= PLAT_CPU_VPCLMUL;
    return features;
}
#endif
