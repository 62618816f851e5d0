// A kernel against a reference over lengths around every lane, block and cut-off of the
// kernels, from the preset register and from one left by earlier data, at every alignment for
// the short ones. Shared by the unit suite and the emulated ARM64 sweep.
#pragma once

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "checksum/crc32_kernels.h"

// The first length and offset where the two part, or "" where they never do.
template <class Reference> std::string kernel_sweep(CrcKernel kernel, Reference reference) {
    std::vector<unsigned char> buf(9 * 4096 + 128);
    std::generate(buf.begin(), buf.end(), std::mt19937(2));
    std::vector<std::size_t> lengths;
    for (std::size_t len = 0; len <= 600; ++len)
        lengths.push_back(len);
    for (std::size_t block : {64u, 256u, 512u, 1536u, 4096u})
        for (std::size_t centre = block; centre <= 9 * block; centre += block)
            for (std::size_t len = centre - 17; len <= centre + 17; ++len)
                lengths.push_back(len);
    for (std::size_t offset = 0; offset < 64; ++offset) {
        for (std::size_t len : lengths) {
            for (std::uint32_t reg : {0xFFFFFFFFu, 0x1234ABCDu})
                if (kernel(reg, buf.data() + offset, len) !=
                    reference(reg, buf.data() + offset, len))
                    return "length " + std::to_string(len) + " offset " + std::to_string(offset);
            if (offset != 0 && offset != 5 && len > 200) // one odd offset takes every length
                break;
        }
    }
    return "";
}
