// CRC-32 straight from its definition, one bit at a time, independent of the table and kernels.
#pragma once

#include <cstdint>
#include <string>

inline std::uint32_t reference_crc(const std::string& bytes) {
    std::uint32_t reg = 0xFFFFFFFFu;
    for (unsigned char c : bytes) {
        reg ^= c;
        for (int i = 0; i < 8; ++i)
            reg = (reg & 1) ? (reg >> 1) ^ 0xEDB88320u : reg >> 1;
    }
    return ~reg;
}
