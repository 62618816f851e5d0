// What the processor offers the CRC-32 kernels, asked of the processor or the system once.
#include <windows.h>

#include "platform/cpu_x86.h"
#include "platform/platform.h"

namespace {

#if defined(__aarch64__)
// The Windows SDK's number for SHA3 (EOR3 among it), missing from MinGW-w64's headers; older
// systems answer FALSE for a number they do not know.
constexpr DWORD PF_ARM_SHA3 = 64;
#endif

unsigned detect() {
    unsigned features = 0;
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    features = x86_cpu_features();
#elif defined(__aarch64__)
    if (IsProcessorFeaturePresent(PF_ARM_V8_CRC32_INSTRUCTIONS_AVAILABLE))
        features |= PLAT_CPU_CRC32;
    if (IsProcessorFeaturePresent(PF_ARM_V8_CRYPTO_INSTRUCTIONS_AVAILABLE))
        features |= PLAT_CPU_PMULL;
    if (IsProcessorFeaturePresent(PF_ARM_SHA3))
        features |= PLAT_CPU_SHA3;
#endif
    return features;
}

} // namespace

unsigned plat_cpu_features() {
    static const unsigned features = detect();
    return features;
}
