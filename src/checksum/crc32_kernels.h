// The CRC-32 kernels, and the folding constants the fast ones use.
#pragma once

#include <cstddef>
#include <cstdint>

#include "checksum/crc32.h"

// A kernel advances the raw CRC register (preset to all ones, not yet complemented)
// over len bytes. Every kernel gives the same register as crc32_bytewise.
using CrcKernel = std::uint32_t (*)(std::uint32_t reg, const unsigned char* data, std::size_t len);

// One table lookup per byte: the reference every other kernel is tested against.
std::uint32_t crc32_bytewise(std::uint32_t reg, const unsigned char* data, std::size_t len);

// Sixteen table lookups per 16 bytes; the portable fallback on every processor.
std::uint32_t crc32_slice16(std::uint32_t reg, const unsigned char* data, std::size_t len);

// Carry-less multiplication folding over 128-bit lanes (x86-64 PCLMULQDQ with SSE4.1).
// Only callable where the processor has them (crc_kernel_supported says so).
std::uint32_t crc32_pclmul(std::uint32_t reg, const unsigned char* data, std::size_t len);

// The same folding over 256-bit vectors (VPCLMULQDQ with AVX2).
std::uint32_t crc32_vpclmul_avx2(std::uint32_t reg, const unsigned char* data, std::size_t len);

// The same folding over 512-bit lanes (VPCLMULQDQ with AVX-512 F/VL/BW).
std::uint32_t crc32_vpclmul(std::uint32_t reg, const unsigned char* data, std::size_t len);

// ARM64: the CRC32X instruction over several independent streams, joined per block.
std::uint32_t crc32_arm_crc(std::uint32_t reg, const unsigned char* data, std::size_t len);

// ARM64: folding by PMULL over 128-bit lanes (the CRC32 instructions reduce the last lane).
std::uint32_t crc32_arm_pmull(std::uint32_t reg, const unsigned char* data, std::size_t len);

// The same, with EOR3 joining the two products and the data in one instruction.
std::uint32_t crc32_arm_pmull_eor3(std::uint32_t reg, const unsigned char* data, std::size_t len);

// Whether this build holds real code for the folding kernels (false when the compiler or
// target could not produce it; the symbol then exists but must not be selected).
bool crc_pclmul_built();
bool crc_vpclmul_avx2_built();
bool crc_vpclmul_built();
bool crc_arm_crc_built();
bool crc_arm_pmull_built();
bool crc_arm_pmull_eor3_built();

// ---- Folding constants ----

// The pair of multipliers that moves a 128-bit lane forward by d = distance_bits, keeping
// its value modulo P. Derivation: bytes are taken least significant bit first, so the
// lane's low quadword H holds the higher powers and the lane is H*x^64 + L; moved forward
// it must become H*x^(64+d) + L*x^d (mod P). The carry-less product of a 64-bit H and a
// 32-bit reflected constant k in the low half of a quadword is H*k*x^33 in the same bit
// order (x^32 for the placement of k, x for the reflected product's one-bit offset), so
// lo = reflect32(x^(d+31) mod P) multiplies H and hi = reflect32(x^(d-33) mod P)
// multiplies L. d must be at least 64.
struct FoldPair {
    std::uint64_t lo;
    std::uint64_t hi;
};
constexpr FoldPair crc_fold_pair(std::uint32_t distance_bits) {
    return FoldPair{reflect_bits(crc_xpow_mod(distance_bits + 31u), 32),
                    reflect_bits(crc_xpow_mod(distance_bits - 33u), 32)};
}

// Distances the folding kernels use.
struct FoldConstants {
    FoldPair by128;  // one 128-bit lane to the next
    FoldPair by256;  // two lanes on
    FoldPair by384;  // three lanes on
    FoldPair by512;  // one 512-bit vector (or four 128-bit lanes) on
    FoldPair by2048; // eight 256-bit vectors on
    FoldPair by4096; // eight 512-bit vectors on
};
inline constexpr FoldConstants crc_fold{crc_fold_pair(128),  crc_fold_pair(256),
                                        crc_fold_pair(384),  crc_fold_pair(512),
                                        crc_fold_pair(2048), crc_fold_pair(4096)};
