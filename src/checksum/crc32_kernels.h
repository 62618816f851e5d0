// CRC-32 kernels and the dispatch that picks one at start-up.
#pragma once

#include <cstddef>
#include <cstdint>

// A kernel advances the raw CRC register (preset to all ones, not yet complemented)
// over len bytes. Every kernel gives the same register as crc32_bytewise.
using CrcKernel = std::uint32_t (*)(std::uint32_t reg, const unsigned char* data, std::size_t len);

// One table lookup per byte: the reference every other kernel is tested against.
std::uint32_t crc32_bytewise(std::uint32_t reg, const unsigned char* data, std::size_t len);

// Sixteen table lookups per 16 bytes; the portable fallback on every processor.
// Its tables are derived from crc_table by crc_slice_tables_init.
std::uint32_t crc32_slice16(std::uint32_t reg, const unsigned char* data, std::size_t len);

// Fills the slicing tables from crc_table; crc_kernels_init calls it.
void crc_slice_tables_init();

// Carry-less multiplication folding over 128-bit lanes (x86-64 PCLMULQDQ with SSE4.1).
// Only callable when crc_kernel_supported says so.
std::uint32_t crc32_pclmul(std::uint32_t reg, const unsigned char* data, std::size_t len);

// The same folding over 512-bit lanes (VPCLMULQDQ with AVX-512 F/VL/BW).
std::uint32_t crc32_vpclmul(std::uint32_t reg, const unsigned char* data, std::size_t len);

// Whether this build holds real code for the folding kernels (false when the compiler or
// target could not produce it; the symbol then exists but must not be selected).
bool crc_pclmul_built();
bool crc_vpclmul_built();

// ---- Folding constants ----

// x^n mod P for the CRC-32 polynomial P (0x04C11DB7 with the x^32 term implied), in plain
// bit order: bit k is the coefficient of x^k.
std::uint32_t crc_xpow_mod(std::uint64_t n);

// The raw register advanced over len zero bytes. It joins pieces checksummed apart: the
// register over A then B is crc32_shift(register over A, |B|) ^ (register over B from 0).
std::uint32_t crc32_shift(std::uint32_t reg, std::uint64_t len);

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
FoldPair crc_fold_pair(std::uint32_t distance_bits);

// Distances the folding kernels use, filled by crc_kernels_init.
struct FoldConstants {
    FoldPair by128;  // one 128-bit lane to the next
    FoldPair by256;  // two lanes on
    FoldPair by384;  // three lanes on
    FoldPair by512;  // one 512-bit vector (or four 128-bit lanes) on
    FoldPair by4096; // eight 512-bit vectors on
};
extern FoldConstants crc_fold;

// ---- Dispatch ----

// Chooses the kernel used by crc32_update: the most capable one the processor and the
// operating system support. crc_table must be filled.
void crc_kernels_init();

// Advances the register with the chosen kernel.
std::uint32_t crc32_update(std::uint32_t reg, const unsigned char* data, std::size_t len);

// Name of the chosen kernel, for benchmarks and diagnostics.
const char* crc_kernel_name();

// The kernels in rising order of capability, for tests and benchmarks.
struct CrcKernelInfo {
    const char* name;
    CrcKernel kernel;
};
int crc_kernel_count();
// Entry i (0 <= i < crc_kernel_count()).
const CrcKernelInfo& crc_kernel_at(int i);
// Whether kernel i (as above) can run here; valid after crc_kernels_init.
bool crc_kernel_supported(int i);
