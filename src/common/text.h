// Bounded string helpers and the fixed ASCII character classes used everywhere.
#pragma once

#include <cstddef>
#include <cstdint>

// Copies src into dst (size bytes). Returns false, leaving dst as an empty string,
// when src and its NUL do not fit. dst must be at least one byte.
bool str_copy(char* dst, std::size_t size, const char* src);

// Writes a followed by b into dst (size bytes). Returns false, leaving dst empty,
// when the result and its NUL do not fit.
bool str_join(char* dst, std::size_t size, const char* a, const char* b);

// Same with three pieces.
bool str_join3(char* dst, std::size_t size, const char* a, const char* b, const char* c);

// Classic ASCII classes; bytes 0x80..0xFF belong to none.
inline bool is_ascii_space(unsigned char c) {
    return c == ' ' || (c >= 0x09 && c <= 0x0D);
}
inline bool is_ascii_digit(unsigned char c) {
    return c >= '0' && c <= '9';
}
inline unsigned char ascii_lower(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? c + 32 : c;
}
inline unsigned char ascii_upper(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? c - 32 : c;
}

// Either separator a program path may hold.
inline bool is_path_separator(char c) {
    return c == '\\' || c == '/';
}

// The code point of the UTF-8 sequence at p, its bytes in *len; a byte that begins no valid
// sequence (cut, overlong, a surrogate, past U+10FFFF) is one of its own, as UTF8_INVALID.
inline constexpr std::uint32_t UTF8_INVALID = 0xFFFFFFFFu;
std::uint32_t utf8_next(const char* p, std::size_t* len);

// Whether a terminal acts on the character instead of showing it: the C0 and C1 controls, DEL,
// and Unicode's line separators and bidirectional controls, which move, hide or reorder text.
bool is_terminal_control(std::uint32_t c);

// Value of a hexadecimal digit, or -1.
inline int hex_value(unsigned char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
