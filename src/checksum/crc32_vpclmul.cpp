// CRC-32 by carry-less multiplication folding over 512-bit vectors (VPCLMULQDQ, AVX-512).
// Compiled with its own target flags; the dispatch calls it only where the processor and the
// operating system support them.
#include "checksum/crc32_kernels.h"

#if defined(__x86_64__) && defined(__VPCLMULQDQ__) && defined(__AVX512F__) &&                      \
    defined(__AVX512VL__) && defined(__AVX512BW__) && defined(__PCLMUL__)
#include <immintrin.h>

namespace {

constexpr std::size_t VECTOR_BYTES = 64;
// Eight vectors in flight: enough independent multiplies to keep the unit busy.
constexpr std::size_t BLOCK_BYTES = 8 * VECTOR_BYTES;
constexpr std::size_t LANE_BYTES = 16;

inline __m128i pair_lane(const FoldPair& pair) {
    return _mm_set_epi64x(static_cast<long long>(pair.hi), static_cast<long long>(pair.lo));
}

inline __m512i pair_vector(const FoldPair& pair) {
    // Spelled out: GCC 12 warns about the undefined source inside the broadcast intrinsic.
    const auto lo = static_cast<long long>(pair.lo);
    const auto hi = static_cast<long long>(pair.hi);
    return _mm512_set_epi64(hi, lo, hi, lo, hi, lo, hi, lo);
}

// Every 128-bit lane of v carried forward by k's distance, then XORed with next.
inline __m512i fold_into(__m512i v, __m512i k, __m512i next) {
    return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(v, k, 0x00),
                                     _mm512_clmulepi64_epi128(v, k, 0x11), next, 0x96);
}

inline __m128i fold_lane(__m128i lane, __m128i k) {
    return _mm_xor_si128(_mm_clmulepi64_si128(lane, k, 0x00), _mm_clmulepi64_si128(lane, k, 0x11));
}

inline __m128i lane_at(const unsigned char* p, int i) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(p + i * LANE_BYTES));
}

inline __m512i load(const unsigned char* p) {
    return _mm512_loadu_si512(p);
}

} // namespace

bool crc_vpclmul_built() {
    return true;
}

std::uint32_t crc32_vpclmul(std::uint32_t reg, const unsigned char* data, std::size_t len) {
    // Shorter than one vector: nothing to fold. (From one vector up this kernel measured at
    // least as fast as the 128-bit one.)
    if (len < VECTOR_BYTES)
        return crc32_slice16(reg, data, len);
    const __m512i k512 = pair_vector(crc_fold.by512);
    // The register enters as the first four message bytes; the CRC of the rest starts at 0.
    const __m512i first = _mm512_zextsi128_si512(_mm_cvtsi32_si128(static_cast<int>(reg)));

    __m512i acc;
    if (len >= BLOCK_BYTES) {
        // Written out rather than looped: every vector must stay in a register, whatever
        // the compiler's unrolling choices.
        const __m512i k4096 = pair_vector(crc_fold.by4096);
        __m512i v0 = _mm512_xor_si512(load(data), first);
        __m512i v1 = load(data + 64);
        __m512i v2 = load(data + 128);
        __m512i v3 = load(data + 192);
        __m512i v4 = load(data + 256);
        __m512i v5 = load(data + 320);
        __m512i v6 = load(data + 384);
        __m512i v7 = load(data + 448);
        data += BLOCK_BYTES;
        len -= BLOCK_BYTES;
        while (len >= BLOCK_BYTES) {
            v0 = fold_into(v0, k4096, load(data));
            v1 = fold_into(v1, k4096, load(data + 64));
            v2 = fold_into(v2, k4096, load(data + 128));
            v3 = fold_into(v3, k4096, load(data + 192));
            v4 = fold_into(v4, k4096, load(data + 256));
            v5 = fold_into(v5, k4096, load(data + 320));
            v6 = fold_into(v6, k4096, load(data + 384));
            v7 = fold_into(v7, k4096, load(data + 448));
            data += BLOCK_BYTES;
            len -= BLOCK_BYTES;
        }
        acc = fold_into(v0, k512, v1);
        acc = fold_into(acc, k512, v2);
        acc = fold_into(acc, k512, v3);
        acc = fold_into(acc, k512, v4);
        acc = fold_into(acc, k512, v5);
        acc = fold_into(acc, k512, v6);
        acc = fold_into(acc, k512, v7);
    } else {
        acc = _mm512_xor_si512(load(data), first);
        data += VECTOR_BYTES;
        len -= VECTOR_BYTES;
    }
    while (len >= VECTOR_BYTES) {
        acc = fold_into(acc, k512, load(data));
        data += VECTOR_BYTES;
        len -= VECTOR_BYTES;
    }

    // Four lanes into the last one, each carried by its distance from it.
    // Through memory: the lane-extract intrinsics trip a false GCC 12 warning.
    alignas(64) unsigned char lanes[VECTOR_BYTES];
    _mm512_store_si512(lanes, acc);
    __m128i x = lane_at(lanes, 3);
    x = _mm_xor_si128(x, fold_lane(lane_at(lanes, 0), pair_lane(crc_fold.by384)));
    x = _mm_xor_si128(x, fold_lane(lane_at(lanes, 1), pair_lane(crc_fold.by256)));
    x = _mm_xor_si128(x, fold_lane(lane_at(lanes, 2), pair_lane(crc_fold.by128)));
    const __m128i k128 = pair_lane(crc_fold.by128);
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

bool crc_vpclmul_built() {
    return false;
}

// Never selected; kept correct in case it is called.
std::uint32_t crc32_vpclmul(std::uint32_t reg, const unsigned char* data, std::size_t len) {
    return crc32_slice16(reg, data, len);
}

#endif
