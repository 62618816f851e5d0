// Bounded string copies and joins into fixed-size buffers.
#include "common/text.h"

#include <cstring>

bool str_join3(char* dst, std::size_t size, const char* a, const char* b, const char* c) {
    const char* parts[3] = {a, b, c};
    std::size_t used = 0;
    for (const char* part : parts) {
        std::size_t len = std::strlen(part);
        if (len >= size - used) {
            dst[0] = '\0';
            return false;
        }
        std::memcpy(dst + used, part, len);
        used += len;
    }
    dst[used] = '\0';
    return true;
}

bool str_join(char* dst, std::size_t size, const char* a, const char* b) {
    return str_join3(dst, size, a, b, "");
}

bool str_copy(char* dst, std::size_t size, const char* src) {
    return str_join3(dst, size, src, "", "");
}

std::uint32_t utf8_next(const char* p, std::size_t* len) {
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    *len = 1;
    if (b[0] < 0x80)
        return b[0];
    // The lead byte gives the length and the smallest value the sequence may encode.
    const std::size_t n = b[0] >= 0xC2 && b[0] <= 0xDF   ? 2
                          : b[0] >= 0xE0 && b[0] <= 0xEF ? 3
                          : b[0] >= 0xF0 && b[0] <= 0xF4 ? 4
                                                         : 0;
    if (n == 0)
        return UTF8_INVALID;
    static constexpr std::uint32_t LEAST[] = {0, 0, 0x80, 0x800, 0x10000};
    std::uint32_t c = b[0] & (0x7Fu >> n);
    for (std::size_t i = 1; i < n; ++i) {
        if ((b[i] & 0xC0) != 0x80) // a NUL ends the text here too
            return UTF8_INVALID;
        c = (c << 6) | (b[i] & 0x3Fu);
    }
    if (c < LEAST[n] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return UTF8_INVALID;
    *len = n;
    return c;
}

bool is_terminal_control(std::uint32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
           (c >= 0x2028 && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}
