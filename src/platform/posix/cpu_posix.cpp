// An ARM64 processor's features as a POSIX system reports them: Linux and FreeBSD through the
// auxiliary vector, macOS through the compiler's target.
#include "platform/cpu_arm.h"
#include "platform/platform.h"

#if defined(__aarch64__)
#if defined(__linux__) || defined(__FreeBSD__)
#include <sys/auxv.h>

namespace {

// The kernel's HWCAP bits for ARM64, spelled out for C libraries whose headers predate them.
// FreeBSD numbered some of them otherwise at first and has used Linux's numbers since 13.0.
constexpr unsigned long HWCAP_BIT_PMULL = 1ul << 4;
constexpr unsigned long HWCAP_BIT_CRC32 = 1ul << 7;
constexpr unsigned long HWCAP_BIT_SHA3 = 1ul << 17;

unsigned from_hwcap(unsigned long hwcap) {
    unsigned features = 0;
    if (hwcap & HWCAP_BIT_CRC32)
        features |= PLAT_CPU_CRC32;
    if (hwcap & HWCAP_BIT_PMULL)
        features |= PLAT_CPU_PMULL;
    if (hwcap & HWCAP_BIT_SHA3)
        features |= PLAT_CPU_SHA3;
    return features;
}

} // namespace
#endif

unsigned arm_cpu_features() {
    unsigned features = 0;
#if defined(__linux__)
    // User space cannot read the ID registers itself; the kernel (or an emulator) says.
    features = from_hwcap(getauxval(AT_HWCAP));
#elif defined(__FreeBSD__)
    unsigned long hwcap = 0;
    if (elf_aux_info(AT_HWCAP, &hwcap, static_cast<int>(sizeof hwcap)) == 0)
        features = from_hwcap(hwcap);
#elif defined(__APPLE__)
    // Every Apple ARM64 core has all three; the compiler targets them by default.
#if defined(__ARM_FEATURE_CRC32)
    features |= PLAT_CPU_CRC32;
#endif
#if defined(__ARM_FEATURE_AES) || defined(__ARM_FEATURE_CRYPTO)
    features |= PLAT_CPU_PMULL;
#endif
#if defined(__ARM_FEATURE_SHA3)
    features |= PLAT_CPU_SHA3;
#endif
#endif
    return features;
}
#endif
