// Picks the CRC-32 kernel once at start-up.
#include "checksum/crc32_kernels.h"

namespace {
CrcKernel active_kernel = crc32_bytewise;
const char* active_name = "bytewise";
} // namespace

void crc_kernels_init() {
    active_kernel = crc32_bytewise;
    active_name = "bytewise";
}

std::uint32_t crc32_update(std::uint32_t reg, const unsigned char* data, std::size_t len) {
    return active_kernel(reg, data, len);
}

const char* crc_kernel_name() {
    return active_name;
}
