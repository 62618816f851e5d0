// The CRC-32 table, built from the polynomial at start-up.
#include "checksum/crc32.h"

#include "checksum/crc32_kernels.h"

std::uint32_t crc_table[256];

std::uint32_t reflect_bits(std::uint32_t value, std::uint32_t width) {
    std::uint32_t result = 0;
    for (std::uint32_t k = 0; k < width; ++k) {
        if (value & (1u << k))
            result |= 1u << (width - 1 - k);
    }
    return result;
}

void crc_table_init() {
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t a = reflect_bits(i, 8) << 24;
        for (int bit = 0; bit < 8; ++bit)
            a = (a & 0x80000000u) ? (a << 1) ^ 0x04C11DB7u : a << 1;
        crc_table[i] = reflect_bits(a, 32);
    }
    crc_kernels_init();
}

std::uint32_t crc32_bytewise(std::uint32_t reg, const unsigned char* data, std::size_t len) {
    for (std::size_t i = 0; i < len; ++i)
        reg = (reg >> 8) ^ crc_table[(reg ^ data[i]) & 0xFF];
    return reg;
}
