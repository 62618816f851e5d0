// Wildcard name matching for the file search of systems that lack a native one.
#include "platform/wildcard.h"

#include <cstring>

#include "common/text.h"

static bool match_plain(const char* pattern, const char* name, std::size_t pattern_len) {
    std::size_t p = 0;
    const char* n = name;
    std::size_t star_p = 0;
    const char* star_n = nullptr;
    bool have_star = false;
    while (*n != '\0') {
        unsigned char pc = p < pattern_len ? static_cast<unsigned char>(pattern[p]) : 0;
        unsigned char nc = static_cast<unsigned char>(*n);
        if (pc == '*') {
            have_star = true;
            star_p = ++p;
            star_n = n;
        } else if (pc == '?' || ascii_upper(pc) == ascii_upper(nc)) {
            ++p;
            ++n;
        } else if (have_star) {
            // Let the last star swallow one more character and retry from there.
            p = star_p;
            n = ++star_n;
        } else {
            return false;
        }
    }
    while (p < pattern_len && pattern[p] == '*')
        ++p;
    return p == pattern_len;
}

bool wildcard_match(const char* pattern, const char* name) {
    std::size_t len = std::strlen(pattern);
    if (match_plain(pattern, name, len))
        return true;
    // A trailing ".*" also stands for "no extension at all".
    if (len >= 2 && pattern[len - 2] == '.' && pattern[len - 1] == '*')
        return std::strchr(name, '.') == nullptr && match_plain(pattern, name, len - 2);
    return false;
}
