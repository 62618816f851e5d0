// What the ARM64 kernels share. Each kernel's file is compiled for its own instruction set,
// so everything here is static: no kernel may end up calling another's copy.
#pragma once

#include <arm_acle.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

static inline std::uint64_t load64(const unsigned char* p) {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// One stream, eight bytes an instruction, then the last seven at most.
static inline std::uint32_t crc32_arm_serial(std::uint32_t reg, const unsigned char* data,
                                             std::size_t len) {
    for (; len >= 8; data += 8, len -= 8)
        reg = __crc32d(reg, load64(data));
    if (len & 4) {
        std::uint32_t v;
        std::memcpy(&v, data, sizeof v);
        reg = __crc32w(reg, v);
        data += 4;
    }
    if (len & 2) {
        std::uint16_t v;
        std::memcpy(&v, data, sizeof v);
        reg = __crc32h(reg, v);
        data += 2;
    }
    if (len & 1)
        reg = __crc32b(reg, *data);
    return reg;
}
