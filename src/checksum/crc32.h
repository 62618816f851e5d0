// CRC-32 (IEEE 802.3, reflected polynomial 0xEDB88320): the table and its start-up.
#pragma once

#include <cstdint>

// The reflected CRC-32 table; all zero until crc_table_init runs.
extern std::uint32_t crc_table[256];

// The low width bits of value in reverse order (width 0..32).
std::uint32_t reflect_bits(std::uint32_t value, std::uint32_t width);

// Fills crc_table and picks the fastest CRC kernel the processor supports.
// Must run once before the first checksum.
void crc_table_init();
