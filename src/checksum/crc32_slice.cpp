// Slice-by-16 CRC-32: the portable kernel, sixteen independent table lookups per 16 bytes.
#include "checksum/crc32.h"
#include "checksum/crc32_kernels.h"

namespace {

constexpr int SLICES = 16;

// slice_table[k][i]: the register contribution of byte i followed by k zero bytes.
std::uint32_t slice_table[SLICES][256];

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

void crc_slice_tables_init() {
    for (int i = 0; i < 256; ++i)
        slice_table[0][i] = crc_table[i];
    for (int k = 1; k < SLICES; ++k) {
        for (int i = 0; i < 256; ++i) {
            std::uint32_t t = slice_table[k - 1][i];
            slice_table[k][i] = (t >> 8) ^ crc_table[t & 0xFF];
        }
    }
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
