// ARM64 CRC-32 kernels. This build holds none of them: they are never selected, and stay
// correct if called.
#include "checksum/crc32_kernels.h"

bool crc_arm_crc_built() {
    return false;
}
bool crc_arm_pmull_built() {
    return false;
}
bool crc_arm_pmull_eor3_built() {
    return false;
}

std::uint32_t crc32_arm_crc(std::uint32_t reg, const unsigned char* data, std::size_t len) {
    return crc32_slice16(reg, data, len);
}
std::uint32_t crc32_arm_pmull(std::uint32_t reg, const unsigned char* data, std::size_t len) {
    return crc32_slice16(reg, data, len);
}
std::uint32_t crc32_arm_pmull_eor3(std::uint32_t reg, const unsigned char* data, std::size_t len) {
    return crc32_slice16(reg, data, len);
}
