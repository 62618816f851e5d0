// The code page's double-byte characters, names converted to and from UTF-8, and found names
// held to the program's own wildcard rules: the Windows search also matches each file's 8.3
// short name ("*.rar" finds "b.rarx" as "B~1.RAR") and follows DOS rules of its own.
#include <windows.h>

#include <cstring>
#include <cwchar>

#include "common/text.h"
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

// ---- Names in UTF-8 ----

namespace {

// Program text is far shorter.
constexpr int TEXT_UNITS = 1024;

bool valid_utf8_beyond_ascii(const char* text) {
    bool beyond_ascii = false;
    for (const char* p = text; *p != '\0';) {
        std::size_t len = 0;
        if (utf8_next(p, &len) == UTF8_INVALID)
            return false;
        beyond_ascii = beyond_ascii || len > 1;
        p += len;
    }
    return beyond_ascii;
}

} // namespace

bool plat_utf8_from_native(const char* text, char* out, std::size_t size) {
    wchar_t wide[TEXT_UNITS];
    DWORD used = 0;
    out[0] = '\0';
    if (!plat_win32::widen(text, std::strlen(text), wide, TEXT_UNITS, &used))
        return false;
    const int n = used == 0 ? 0
                            : WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(used), out,
                                                  static_cast<int>(size) - 1, nullptr, nullptr);
    out[n > 0 ? n : 0] = '\0';
    return used == 0 || n > 0;
}

void plat_native_from_utf8(const char* text, char* out, std::size_t size) {
    wchar_t wide[TEXT_UNITS];
    int units = MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, TEXT_UNITS) - 1;
    const bool utf8 = GetACP() == CP_UTF8;
    int n = 0;
    // Cut by whole characters until it fits beside its NUL.
    while (units > 0 && (n = WideCharToMultiByte(CP_ACP, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, wide,
                                                 units, out, static_cast<int>(size) - 1,
                                                 utf8 ? nullptr : "?", nullptr)) <= 0)
        units -= units > 1 && IS_LOW_SURROGATE(wide[units - 1]) ? 2 : 1;
    out[n > 0 ? n : 0] = '\0';
}

bool plat_list_name_other(const char* name, char* out, std::size_t size) {
    // Under the UTF-8 code page the name was read so already.
    return GetACP() != CP_UTF8 && valid_utf8_beyond_ascii(name) && str_copy(out, size, name);
}
