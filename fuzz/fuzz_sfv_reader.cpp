// Arbitrary bytes as an SFV file. A line the reader yields holds a line feed only at its end;
// an entry scanned from it has a name with no blank at either end, which reads back the same
// once written as a build writes it.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "common/text.h"
#include "sfv/sfv_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Never null: glibc opens an empty buffer too.
    std::FILE* in = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    SfvReader reader;
    sfv_reader_init(&reader, in);
    char line[SFV_LINE_SIZE], name[SFV_NAME_SIZE], again[SFV_NAME_SIZE], entry[SFV_NAME_SIZE + 16];
    std::uint32_t crc = 0, crc_again = 0;
    while (const std::size_t n = read_sfv_line(&reader, line, sizeof line)) {
        if (std::memchr(line, '\n', n - 1) != nullptr)
            __builtin_trap();
        if (is_comment_line(line) || scan_sfv_entry(line, name, &crc) != SFV_ENTRY)
            continue;
        const std::size_t len = std::strlen(name);
        if (len == 0 || is_ascii_space(name[0]) || is_ascii_space(name[len - 1]))
            __builtin_trap();
        std::snprintf(entry, sizeof entry, "%s %08X\r\n", name, crc);
        if (scan_sfv_entry(entry, again, &crc_again) != SFV_ENTRY || crc_again != crc ||
            std::strcmp(again, name) != 0)
            __builtin_trap();
    }
    std::fclose(in);
    return 0;
}
