// Names and paths in the program's code page, whose characters may take two bytes.
#pragma once

#include <cstddef>

#include "platform/platform.h"

// Bytes of the character at p: 2 for a double-byte character of the code page, else 1.
// Every scan of a name or path steps by it, so a second byte is never taken for a character.
inline std::size_t char_bytes(const char* p) {
    return plat_is_lead_byte(static_cast<unsigned char>(p[0])) && p[1] != '\0' ? 2 : 1;
}

// Whether a and b are the same name but for the letter case of A-Z (never a byte of a
// double-byte character).
bool same_name_any_case(const char* a, const char* b);

// True when the last character of text is a backslash of its own.
bool ends_in_backslash(const char* text);
