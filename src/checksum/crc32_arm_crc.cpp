// CRC-32 by the ARMv8 CRC32 instructions over three independent streams. CRC32X takes a few
// cycles to give its result but can start every cycle, so three chains keep it busy. A block is
// three streams of 512 bytes, each from 0, joined by a shift table the compiler makes. Published
// kernels of this three-way design run at about 25 GB/s on Apple M1 and 19-24 GB/s on Neoverse
// N1 (Graviton 2). Compiled with its own target flags; needs only the CRC extension.
#include "checksum/crc32_kernels.h"

#if defined(__aarch64__) && defined(__AARCH64EL__) && defined(__ARM_FEATURE_CRC32)
#include "checksum/crc32_arm.h"

namespace {

constexpr std::size_t STREAM_BYTES = 512;
constexpr std::size_t BLOCK_BYTES = 3 * STREAM_BYTES;

// The register advanced over STREAM_BYTES zero bytes, one table per byte of it: the advance is
// linear, so the four entries XORed give it whole. (crc32_shift costs more than a block.)
struct ShiftTable {
    std::uint32_t entry[4][256];
};

constexpr ShiftTable make_shift_table(std::size_t bytes) {
    ShiftTable table{};
    const std::uint32_t power = crc_xpow_mod(8 * bytes);
    for (std::uint32_t i = 0; i < 4; ++i)
        for (std::uint32_t b = 0; b < 256; ++b)
            table.entry[i][b] = reflect_bits(crc_mul_mod(reflect_bits(b << 8 * i, 32), power), 32);
    return table;
}

constexpr ShiftTable SHIFT = make_shift_table(STREAM_BYTES);

inline std::uint32_t shift_stream(std::uint32_t reg) {
    return SHIFT.entry[0][reg & 0xFF] ^ SHIFT.entry[1][reg >> 8 & 0xFF] ^
           SHIFT.entry[2][reg >> 16 & 0xFF] ^ SHIFT.entry[3][reg >> 24];
}

} // namespace

bool crc_arm_crc_built() {
    return true;
}

std::uint32_t crc32_arm_crc(std::uint32_t reg, const unsigned char* data, std::size_t len) {
    // Eight-byte loads that never straddle a cache line.
    for (; len != 0 && reinterpret_cast<std::uintptr_t>(data) % 8 != 0; ++data, --len)
        reg = __crc32b(reg, *data);
    for (; len >= BLOCK_BYTES; data += BLOCK_BYTES, len -= BLOCK_BYTES) {
        // All three from 0: no stream waits for the join of the block before.
        std::uint32_t a = 0;
        std::uint32_t b = 0;
        std::uint32_t c = 0;
        for (std::size_t i = 0; i < STREAM_BYTES; i += 8) {
            a = __crc32d(a, load64(data + i));
            b = __crc32d(b, load64(data + STREAM_BYTES + i));
            c = __crc32d(c, load64(data + 2 * STREAM_BYTES + i));
        }
        // The register moves past all three streams, a past two, b past one.
        reg = shift_stream(shift_stream(shift_stream(reg) ^ a) ^ b) ^ c;
    }
    return crc32_arm_serial(reg, data, len);
}

#else

bool crc_arm_crc_built() {
    return false;
}

// Never selected; kept correct in case it is called.
std::uint32_t crc32_arm_crc(std::uint32_t reg, const unsigned char* data, std::size_t len) {
    return crc32_slice16(reg, data, len);
}

#endif
