// CRC-32 by carry-less multiplication folding over 256-bit vectors (VPCLMULQDQ with AVX2):
// the processors that have the wide multiplier without AVX-512 (many desktop cores, and
// virtual machines that hide AVX-512). Compiled with its own target flags; the dispatch calls
// it only where the processor and the operating system support them.
#include "checksum/crc32_kernels.h"

#if defined(__x86_64__) && defined(__VPCLMULQDQ__) && defined(__AVX2__) && defined(__PCLMUL__)
#include <immintrin.h>

namespace {

constexpr std::size_t VECTOR_BYTES = 32;
// Eight vectors, sixteen lanes, in flight: enough independent multiplies to hide their latency.
constexpr std::size_t BLOCK_BYTES = 8 * VECTOR_BYTES;
constexpr std::size_t LANE_BYTES = 16;

inline __m128i pair_lane(const FoldPair& pair) {
    return _mm_set_epi64x(static_cast<long long>(pair.hi), static_cast<long long>(pair.lo));
}

inline __m256i pair_vector(const FoldPair& pair) {
    const auto lo = static_cast<long long>(pair.lo);
    const auto hi = static_cast<long long>(pair.hi);
    return _mm256_set_epi64x(hi, lo, hi, lo);
}

// Both 128-bit lanes of v carried forward by k's distance, then XORed with next.
inline __m256i fold_into(__m256i v, __m256i k, __m256i next) {
    return _mm256_xor_si256(_mm256_xor_si256(_mm256_clmulepi64_epi128(v, k, 0x00),
                                             _mm256_clmulepi64_epi128(v, k, 0x11)),
                            next);
}

inline __m128i fold_lane(__m128i lane, __m128i k) {
    return _mm_xor_si128(_mm_clmulepi64_si128(lane, k, 0x00), _mm_clmulepi64_si128(lane, k, 0x11));
}

inline __m256i load(const unsigned char* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

} // namespace

bool crc_vpclmul_avx2_built() {
    return true;
}

std::uint32_t crc32_vpclmul_avx2(std::uint32_t reg, const unsigned char* data, std::size_t len) {
    if (len < VECTOR_BYTES)
        return crc32_slice16(reg, data, len);
    const __m256i k256 = pair_vector(crc_fold.by256);
    // The register enters as the first four message bytes; the CRC of the rest starts at 0.
    const __m256i first = _mm256_inserti128_si256(_mm256_setzero_si256(),
                                                  _mm_cvtsi32_si128(static_cast<int>(reg)), 0);

    __m256i acc;
    if (len >= BLOCK_BYTES) {
        // Written out rather than looped: every vector must stay in a register.
        const __m256i k2048 = pair_vector(crc_fold.by2048);
        __m256i v0 = _mm256_xor_si256(load(data), first);
        __m256i v1 = load(data + 32);
        __m256i v2 = load(data + 64);
        __m256i v3 = load(data + 96);
        __m256i v4 = load(data + 128);
        __m256i v5 = load(data + 160);
        __m256i v6 = load(data + 192);
        __m256i v7 = load(data + 224);
        data += BLOCK_BYTES;
        len -= BLOCK_BYTES;
        while (len >= BLOCK_BYTES) {
            v0 = fold_into(v0, k2048, load(data));
            v1 = fold_into(v1, k2048, load(data + 32));
            v2 = fold_into(v2, k2048, load(data + 64));
            v3 = fold_into(v3, k2048, load(data + 96));
            v4 = fold_into(v4, k2048, load(data + 128));
            v5 = fold_into(v5, k2048, load(data + 160));
            v6 = fold_into(v6, k2048, load(data + 192));
            v7 = fold_into(v7, k2048, load(data + 224));
            data += BLOCK_BYTES;
            len -= BLOCK_BYTES;
        }
        acc = fold_into(v0, k256, v1);
        acc = fold_into(acc, k256, v2);
        acc = fold_into(acc, k256, v3);
        acc = fold_into(acc, k256, v4);
        acc = fold_into(acc, k256, v5);
        acc = fold_into(acc, k256, v6);
        acc = fold_into(acc, k256, v7);
    } else {
        acc = _mm256_xor_si256(load(data), first);
        data += VECTOR_BYTES;
        len -= VECTOR_BYTES;
    }
    while (len >= VECTOR_BYTES) {
        acc = fold_into(acc, k256, load(data));
        data += VECTOR_BYTES;
        len -= VECTOR_BYTES;
    }

    // The first lane into the second, then the 16-byte lanes left, one at a time.
    const __m128i k128 = pair_lane(crc_fold.by128);
    __m128i x = _mm_xor_si128(_mm256_extracti128_si256(acc, 1),
                              fold_lane(_mm256_castsi256_si128(acc), k128));
    while (len >= LANE_BYTES) {
        x = _mm_xor_si128(fold_lane(x, k128),
                          _mm_loadu_si128(reinterpret_cast<const __m128i*>(data)));
        data += LANE_BYTES;
        len -= LANE_BYTES;
    }
    // The last lane stands for everything before the tail; its CRC from 0 is the register.
    alignas(16) unsigned char rest[LANE_BYTES];
    _mm_store_si128(reinterpret_cast<__m128i*>(rest), x);
    reg = crc32_slice16(0, rest, LANE_BYTES);
    return crc32_slice16(reg, data, len);
}

#else

bool crc_vpclmul_avx2_built() {
    return false;
}

// Never selected; kept correct in case it is called.
std::uint32_t crc32_vpclmul_avx2(std::uint32_t reg, const unsigned char* data, std::size_t len) {
    return crc32_slice16(reg, data, len);
}

#endif
