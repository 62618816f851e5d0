// An ARM64 processor's features as Windows reports them.
#include "platform/cpu_arm.h"
#include "platform/platform.h"

#if defined(__aarch64__)
#include <windows.h>

namespace {

// The Windows SDK's number for SHA3 (EOR3 among it), missing from MinGW-w64's headers; older
// systems answer FALSE for a number they do not know.
constexpr DWORD PF_ARM_SHA3 = 64;

} // namespace

unsigned arm_cpu_features() {
    unsigned features = 0;
    if (IsProcessorFeaturePresent(PF_ARM_V8_CRC32_INSTRUCTIONS_AVAILABLE))
        features |= PLAT_CPU_CRC32;
    if (IsProcessorFeaturePresent(PF_ARM_V8_CRYPTO_INSTRUCTIONS_AVAILABLE))
        features |= PLAT_CPU_PMULL;
    if (IsProcessorFeaturePresent(PF_ARM_SHA3))
        features |= PLAT_CPU_SHA3;
    return features;
}
#endif
