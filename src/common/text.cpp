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

bool ends_in_backslash(const char* text) {
    bool backslash = false;
    for (const char* p = text; *p != '\0'; p += char_bytes(p))
        backslash = *p == '\\' && char_bytes(p) == 1;
    return backslash;
}
