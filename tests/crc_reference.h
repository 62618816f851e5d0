// The CRC-32 the tests expect, from its definition alone: one bit at a time.
#pragma once

#include <cstdint>
#include <string>

// The raw register after len more bytes.
inline std::uint32_t bitwise(std::uint32_t reg, const void* data, std::size_t len) {
    for (std::size_t i = 0; i < len; ++i) {
        reg ^= static_cast<const unsigned char*>(data)[i];
        for (int bit = 0; bit < 8; ++bit)
            reg = (reg & 1) ? (reg >> 1) ^ 0xEDB88320u : reg >> 1;
    }
    return reg;
}

inline std::uint32_t crc_of(const std::string& s) {
    return ~bitwise(0xFFFFFFFFu, s.data(), s.size());
}
