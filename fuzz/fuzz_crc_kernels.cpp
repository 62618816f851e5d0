// Every CRC-32 kernel this processor can run, on arbitrary bytes at every alignment and from
// any starting register, against the one-byte-at-a-time reference.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "checksum/crc32_dispatch.h"

// Input: one byte of alignment (0..63), four bytes of starting register, then the data.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 5)
        return 0;
    const std::size_t offset = data[0] & 63;
    std::uint32_t start = 0;
    std::memcpy(&start, data + 1, sizeof start);
    const std::uint8_t* bytes = data + 5;
    const std::size_t len = size - 5;

    // The data ends exactly at the end of its block, so a read past it is caught.
    std::vector<unsigned char> block(offset + len);
    unsigned char* at = block.data() + offset;
    std::copy(bytes, bytes + len, at);
    const std::uint32_t want = crc32_bytewise(start, at, len);
    for (int i = 0; i < crc_kernel_count(); ++i) {
        if (crc_kernel_supported(i) && crc_kernel_at(i).kernel(start, at, len) != want)
            __builtin_trap();
    }
    return 0;
}
