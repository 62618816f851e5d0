// CRC-32 by carry-less multiplication folding over 128-bit lanes (PCLMULQDQ, SSE4.1).
// Compiled with its own target flags; the dispatch calls it only where the processor has them.
#include "checksum/crc32_kernels.h"

#if defined(__x86_64__) && defined(__PCLMUL__) && defined(__SSE4_1__)
#include <immintrin.h>

namespace {

// Four lanes in flight hide the multiplier's latency.
constexpr std::size_t LANES = 4;
constexpr std::size_t LANE_BYTES = 16;
constexpr std::size_t BLOCK_BYTES = LANES * LANE_BYTES;

inline __m128i pair_vector(const FoldPair& pair) {
    return _mm_set_epi64x(static_cast<long long>(pair.hi), static_cast<long long>(pair.lo));
}

// A lane carried forward by the distance k was built for: congruent modulo P, 128 bits wide.
inline __m128i fold(__m128i lane, __m128i k) {
    return _mm_xor_si128(_mm_clmulepi64_si128(lane, k, 0x00), _mm_clmulepi64_si128(lane, k, 0x11));
}

inline __m128i load(const unsigned char* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

} // namespace

bool crc_pclmul_built() {
    return true;
}

std::uint32_t crc32_pclmul(std::uint32_t reg, const unsigned char* data, std::size_t len) {
    if (len < BLOCK_BYTES)
        return crc32_slice16(reg, data, len);
    const __m128i k512 = pair_vector(crc_fold.by512);
    const __m128i k128 = pair_vector(crc_fold.by128);

    // The register enters as the first four message bytes; the CRC of the rest starts at 0.
    __m128i x0 = _mm_xor_si128(load(data), _mm_cvtsi32_si128(static_cast<int>(reg)));
    __m128i x1 = load(data + 16);
    __m128i x2 = load(data + 32);
    __m128i x3 = load(data + 48);
    data += BLOCK_BYTES;
    len -= BLOCK_BYTES;
    while (len >= BLOCK_BYTES) {
        x0 = _mm_xor_si128(fold(x0, k512), load(data));
        x1 = _mm_xor_si128(fold(x1, k512), load(data + 16));
        x2 = _mm_xor_si128(fold(x2, k512), load(data + 32));
        x3 = _mm_xor_si128(fold(x3, k512), load(data + 48));
        data += BLOCK_BYTES;
        len -= BLOCK_BYTES;
    }
    x1 = _mm_xor_si128(fold(x0, k128), x1);
    x2 = _mm_xor_si128(fold(x1, k128), x2);
    x3 = _mm_xor_si128(fold(x2, k128), x3);
    while (len >= LANE_BYTES) {
        x3 = _mm_xor_si128(fold(x3, k128), load(data));
        data += LANE_BYTES;
        len -= LANE_BYTES;
    }
    // The last lane now stands for everything before the tail; its own CRC (from 0) is the
    // register, and the tail continues from it.
    alignas(16) unsigned char rest[LANE_BYTES];
    _mm_store_si128(reinterpret_cast<__m128i*>(rest), x3);
    reg = crc32_slice16(0, rest, LANE_BYTES);
    return crc32_slice16(reg, data, len);
}

#else

bool crc_pclmul_built() {
    return false;
}

// Never selected; kept correct in case it is called.
std::uint32_t crc32_pclmul(std::uint32_t reg, const unsigned char* data, std::size_t len) {
    return crc32_slice16(reg, data, len);
}

#endif
