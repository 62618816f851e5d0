// CRC-32 (IEEE 802.3, reflected polynomial 0xEDB88320): its arithmetic and its table, worked
// out by the compiler, so that nothing has to run before the first checksum.
#pragma once

#include <array>
#include <cstdint>

// The low width bits of value in reverse order (width 0..32).
constexpr std::uint32_t reflect_bits(std::uint32_t value, std::uint32_t width) {
    std::uint32_t result = 0;
    for (std::uint32_t k = 0; k < width; ++k) {
        if (value & (1u << k))
            result |= 1u << (width - 1 - k);
    }
    return result;
}

// The polynomial without its x^32 term, in plain bit order.
inline constexpr std::uint32_t CRC_POLY = 0x04C11DB7u;

// a * b mod P, both of degree below 32, in plain bit order.
constexpr std::uint32_t crc_mul_mod(std::uint32_t a, std::uint32_t b) {
    std::uint32_t r = 0;
    for (int bit = 31; bit >= 0; --bit) {
        r = (r & 0x80000000u) ? (r << 1) ^ CRC_POLY : r << 1;
        if (b & (1u << bit))
            r ^= a;
    }
    return r;
}

// x^n mod P for the CRC-32 polynomial P, in plain bit order: bit k is the coefficient of x^k.
constexpr std::uint32_t crc_xpow_mod(std::uint64_t n) {
    // Square and multiply, starting from x.
    std::uint32_t result = 1;
    std::uint32_t power = 2;
    for (; n != 0; n >>= 1) {
        if (n & 1)
            result = crc_mul_mod(result, power);
        power = crc_mul_mod(power, power);
    }
    return result;
}

// The raw register advanced over len zero bytes. It joins pieces checksummed apart: the
// register over A then B is crc32_shift(register over A, |B|) ^ (register over B from 0).
constexpr std::uint32_t crc32_shift(std::uint32_t reg, std::uint64_t len) {
    // The register is the remainder with its bits reversed.
    return reflect_bits(crc_mul_mod(reflect_bits(reg, 32), crc_xpow_mod(8 * len)), 32);
}

// Entry i: the register that byte i leaves from 0, the remainder of i*x^32 reflected.
inline constexpr std::array<std::uint32_t, 256> crc_table = [] {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t a = reflect_bits(i, 8) << 24;
        for (int bit = 0; bit < 8; ++bit)
            a = (a & 0x80000000u) ? (a << 1) ^ CRC_POLY : a << 1;
        table[i] = reflect_bits(a, 32);
    }
    return table;
}();
