// The ARM64 folding kernel's body, shared by the build with EOR3 and the one without; each
// file that includes it is compiled for its own instruction set and gets its own static copy.
#pragma once

#include <arm_neon.h>

#include "checksum/crc32_arm.h"
#include "checksum/crc32_kernels.h"

static constexpr std::size_t LANE_BYTES = 16;
// Eight lanes in flight hide the multiplier's latency.
static constexpr std::size_t LANES = 8;
static constexpr std::size_t BLOCK_BYTES = LANES * LANE_BYTES;
static constexpr FoldPair BY_BLOCK = crc_fold_pair(8 * BLOCK_BYTES);

static inline poly64x2_t pair_vector(const FoldPair& pair) {
    return vreinterpretq_p64_u64(vcombine_u64(vcreate_u64(pair.lo), vcreate_u64(pair.hi)));
}

static inline uint64x2_t load(const unsigned char* p) {
    return vreinterpretq_u64_u8(vld1q_u8(p));
}

// The lane carried forward by k's distance, its two products joined with next by Join.
template <class Join>
static inline uint64x2_t fold_into(uint64x2_t lane, poly64x2_t k, uint64x2_t next) {
    const poly64x2_t p = vreinterpretq_p64_u64(lane);
    const poly128_t low = vmull_p64(vgetq_lane_p64(p, 0), vgetq_lane_p64(k, 0));
    const poly128_t high = vmull_high_p64(p, k);
    return Join{}(vreinterpretq_u64_p128(low), vreinterpretq_u64_p128(high), next);
}

template <class Join>
static std::uint32_t crc32_arm_fold(std::uint32_t reg, const unsigned char* data, std::size_t len) {
    if (len < BLOCK_BYTES)
        return crc32_arm_serial(reg, data, len);
    const poly64x2_t k_block = pair_vector(BY_BLOCK);

    // The register enters as the first four message bytes; the CRC of the rest starts at 0.
    // Written out rather than looped: every lane must stay in a register.
    uint64x2_t x0 = veorq_u64(load(data), vcombine_u64(vcreate_u64(reg), vcreate_u64(0)));
    uint64x2_t x1 = load(data + 16);
    uint64x2_t x2 = load(data + 32);
    uint64x2_t x3 = load(data + 48);
    uint64x2_t x4 = load(data + 64);
    uint64x2_t x5 = load(data + 80);
    uint64x2_t x6 = load(data + 96);
    uint64x2_t x7 = load(data + 112);
    data += BLOCK_BYTES;
    len -= BLOCK_BYTES;
    while (len >= BLOCK_BYTES) {
        x0 = fold_into<Join>(x0, k_block, load(data));
        x1 = fold_into<Join>(x1, k_block, load(data + 16));
        x2 = fold_into<Join>(x2, k_block, load(data + 32));
        x3 = fold_into<Join>(x3, k_block, load(data + 48));
        x4 = fold_into<Join>(x4, k_block, load(data + 64));
        x5 = fold_into<Join>(x5, k_block, load(data + 80));
        x6 = fold_into<Join>(x6, k_block, load(data + 96));
        x7 = fold_into<Join>(x7, k_block, load(data + 112));
        data += BLOCK_BYTES;
        len -= BLOCK_BYTES;
    }
    // Eight lanes into the last: each half onto the other, then each quarter, then the two.
    const poly64x2_t k512 = pair_vector(crc_fold.by512);
    const poly64x2_t k256 = pair_vector(crc_fold.by256);
    const poly64x2_t k128 = pair_vector(crc_fold.by128);
    x4 = fold_into<Join>(x0, k512, x4);
    x5 = fold_into<Join>(x1, k512, x5);
    x6 = fold_into<Join>(x2, k512, x6);
    x7 = fold_into<Join>(x3, k512, x7);
    x6 = fold_into<Join>(x4, k256, x6);
    x7 = fold_into<Join>(x5, k256, x7);
    x7 = fold_into<Join>(x6, k128, x7);
    for (; len >= LANE_BYTES; data += LANE_BYTES, len -= LANE_BYTES)
        x7 = fold_into<Join>(x7, k128, load(data));
    // The last lane stands for everything before the tail; its CRC from 0 is the register.
    reg = __crc32d(__crc32d(0, vgetq_lane_u64(x7, 0)), vgetq_lane_u64(x7, 1));
    return crc32_arm_serial(reg, data, len);
}
