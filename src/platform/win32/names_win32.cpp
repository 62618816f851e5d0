// The code page's double-byte characters, and found names held to the program's own
// wildcard rules: the Windows search also matches each file's 8.3 short name ("*.rar" finds
// "b.rarx" as "B~1.RAR") and follows DOS rules of its own for "." and "?".
#include <windows.h>

#include <cstring>
#include <cwchar>

#include "platform/platform.h"
#include "platform/win32/win32_paths.h"

bool plat_is_lead_byte(unsigned char c) {
    return IsDBCSLeadByte(c) != 0;
}

namespace {

bool is_high_surrogate(std::uint32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

bool is_low_surrogate(std::uint32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// The characters of wide text, upper-cased as Windows compares names without case; a
// surrogate pair is one character. False when they do not fit.
bool wide_chars(const wchar_t* text, std::size_t len, WildChars* out) {
    wchar_t upper[WILD_MAX_CHARS];
    out->length = 0;
    if (len > WILD_MAX_CHARS)
        return false;
    if (len == 0)
        return true;
    const int n = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text, static_cast<int>(len),
                                upper, static_cast<int>(WILD_MAX_CHARS), nullptr, nullptr, 0);
    for (int i = 0; i < n; ++i) {
        std::uint32_t c = upper[i];
        if (is_high_surrogate(c) && i + 1 < n && is_low_surrogate(upper[i + 1]))
            c = 0x10000 + ((c - 0xD800) << 10) + (upper[++i] - 0xDC00u);
        out->chars[out->length++] = c;
    }
    return n > 0;
}

} // namespace

namespace plat_win32 {

bool wide_pattern(const char* pattern, WildChars* out) {
    wchar_t wide[WILD_MAX_CHARS];
    DWORD used = 0;
    return widen(pattern, std::strlen(pattern), wide, WILD_MAX_CHARS, &used) &&
           wide_chars(wide, used, out);
}

bool long_name_matches(const WildChars* pattern, const wchar_t* name) {
    WildChars chars;
    return wide_chars(name, std::wcslen(name), &chars) && wildcard_match_chars(pattern, &chars);
}

} // namespace plat_win32
