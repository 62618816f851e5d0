// CRC-32 kernels and the dispatch that picks one at start-up.
#pragma once

#include <cstddef>
#include <cstdint>

// A kernel advances the raw CRC register (preset to all ones, not yet complemented)
// over len bytes. Every kernel gives the same register as crc32_bytewise.
using CrcKernel = std::uint32_t (*)(std::uint32_t reg, const unsigned char* data, std::size_t len);

// One table lookup per byte: the reference every other kernel is tested against.
std::uint32_t crc32_bytewise(std::uint32_t reg, const unsigned char* data, std::size_t len);

// Chooses the kernel used by crc32_update; crc_table must be filled.
void crc_kernels_init();

// Advances the register with the chosen kernel.
std::uint32_t crc32_update(std::uint32_t reg, const unsigned char* data, std::size_t len);

// Name of the chosen kernel, for benchmarks and diagnostics.
const char* crc_kernel_name();
