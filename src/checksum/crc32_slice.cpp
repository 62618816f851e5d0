// The table kernels: one lookup per byte, and slice-by-16, the portable one, with sixteen
// independent lookups per 16 bytes.
#include "checksum/crc32_kernels.h"

namespace {

constexpr int SLICES = 16;

// slice_table[k][i]: the register contribution of byte i followed by k zero bytes.
constexpr std::array<std::array<std::uint32_t, 256>, SLICES> slice_table = [] {
    std::array<std::array<std::uint32_t, 256>, SLICES> table{};
    table[0] = crc_table;
    for (int k = 1; k < SLICES; ++k) {
        for (int i = 0; i < 256; ++i) {
            const std::uint32_t t = table[k - 1][i];
            table[k][i] = (t >> 8) ^ crc_table[t & 0xFF];
        }
    }
    return table;
}();

// Byte by byte, so the result does not depend on the processor's byte order.
inline std::uint32_t load_le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

inline std::uint32_t word_lookup(int slice, std::uint32_t w) {
    return slice_table[slice][w & 0xFF] ^ slice_table[slice - 1][(w >> 8) & 0xFF] ^
           slice_table[slice - 2][(w >> 16) & 0xFF] ^ slice_table[slice - 3][w >> 24];
}

} // namespace

std::uint32_t crc32_bytewise(std::uint32_t reg, const unsigned char* data, std::size_t len) {
    for (std::size_t i = 0; i < len; ++i)
        reg = (reg >> 8) ^ crc_table[(reg ^ data[i]) & 0xFF];
    return reg;
}

std::uint32_t crc32_slice16(std::uint32_t reg, const unsigned char* data, std::size_t len) {
    while (len >= SLICES) {
        std::uint32_t a = load_le32(data) ^ reg;
        std::uint32_t b = load_le32(data + 4);
        std::uint32_t c = load_le32(data + 8);
        std::uint32_t d = load_le32(data + 12);
        reg = word_lookup(15, a) ^ word_lookup(11, b) ^ word_lookup(7, c) ^ word_lookup(3, d);
        data += SLICES;
        len -= SLICES;
    }
    return crc32_bytewise(reg, data, len);
}
