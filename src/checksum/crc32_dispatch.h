// The CRC-32 kernel this processor runs best, chosen on first use.
#pragma once

#include <cstddef>
#include <cstdint>

#include "checksum/crc32_kernels.h"

// Advances the register with the most capable kernel the processor and the operating system
// support. Any thread may call it at any time, from the first.
std::uint32_t crc32_update(std::uint32_t reg, const unsigned char* data, std::size_t len);

// Name of the chosen kernel, for benchmarks and diagnostics.
const char* crc_kernel_name();

// The kernels in rising order of capability, for tests and benchmarks.
struct CrcKernelInfo {
    const char* name;
    CrcKernel kernel;
};
int crc_kernel_count();
// Entry i (0 <= i < crc_kernel_count()).
const CrcKernelInfo& crc_kernel_at(int i);
// Whether kernel i (as above) can run here.
bool crc_kernel_supported(int i);

// The kernel to run, as an index above, for a processor with the given PlatCpuFeature bits
// and a build holding the kernels whose bits (1 << i) are set in built: the most capable one
// both allow, slice16 at least.
int crc_pick_kernel(unsigned features, unsigned built);
// The kernels this build holds, as bits for crc_pick_kernel.
unsigned crc_kernels_built();
