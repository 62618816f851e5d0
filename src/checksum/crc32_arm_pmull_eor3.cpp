// CRC-32 by PMULL folding over eight 128-bit lanes, as crc32_arm_pmull.cpp, with EOR3 (SHA3
// extension) joining the two products and the next data in one instruction, which shortens
// each lane's chain. Published folding kernels of this kind run at 70-85 GB/s on Apple M1.
// Compiled with its own target flags; the dispatch calls it only where the processor has
// PMULL, CRC32 and SHA3.
#include "checksum/crc32_kernels.h"

#if defined(__aarch64__) && defined(__AARCH64EL__) && defined(__ARM_FEATURE_CRC32) &&              \
    (defined(__ARM_FEATURE_AES) || defined(__ARM_FEATURE_CRYPTO)) && defined(__ARM_FEATURE_SHA3)
#include "checksum/crc32_arm_fold.h"

namespace {

struct Eor3 {
    uint64x2_t operator()(uint64x2_t a, uint64x2_t b, uint64x2_t c) const {
        return veor3q_u64(a, b, c);
    }
};

} // namespace

bool crc_arm_pmull_eor3_built() {
    return true;
}

std::uint32_t crc32_arm_pmull_eor3(std::uint32_t reg, const unsigned char* data, std::size_t len) {
    return crc32_arm_fold<Eor3>(reg, data, len);
}

#else

bool crc_arm_pmull_eor3_built() {
    return false;
}

// Never selected; kept correct in case it is called.
std::uint32_t crc32_arm_pmull_eor3(std::uint32_t reg, const unsigned char* data, std::size_t len) {
    return crc32_slice16(reg, data, len);
}

#endif
