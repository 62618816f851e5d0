// The SFV file format: the lines the writer produces and the rules the reader applies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "common/constants.h"

// Widest name the entry scan takes, and the buffer that holds it with its NUL.
inline constexpr std::size_t SFV_NAME_WIDTH = 260;
inline constexpr std::size_t SFV_NAME_SIZE = SFV_NAME_WIDTH + 1;

// Writes the two header lines. Lines end in CR LF whatever the platform (the stream is
// binary). False when the stream reports an error.
bool write_sfv_header(std::FILE* stream);

// Writes "name CHECKSUM" (eight upper-case hex digits) and CR LF. False on a stream error.
bool write_sfv_entry(std::FILE* stream, const char* name, std::uint32_t crc);

// Reads a binary stream as Windows text mode does: CR LF becomes LF, a lone CR stays,
// and a Ctrl-Z byte ends the file.
struct SfvReader {
    std::FILE* stream;
    unsigned char start[4]; // the file's first bytes, read to learn its encoding
    int start_len;
    int start_pos; // the next of them to deliver
    int pending;   // a byte read ahead after a CR, or EOF when none
    bool ended;    // Ctrl-Z, end of file or a read error was met
};

enum class SfvText {
    Bytes, // single-byte text; a UTF-8 byte-order mark at the start is passed over
    Utf16, // starts with a UTF-16 byte-order mark and a 16-bit unit of the form 00xx
};

// Starts reading stream from its beginning and tells how its text is encoded.
SfvText sfv_reader_init(SfvReader* reader, std::FILE* stream);

// Reads the next line (up to and including LF, at most size - 1 characters) into line and
// ends it with NUL. Returns the number of characters read; 0 ends the reading.
std::size_t read_sfv_line(SfvReader* reader, char* line, std::size_t size);

// True for a comment line: empty, or a ';' after any run of spaces and tabs.
bool is_comment_line(const char* line);

// Takes a line apart into name (SFV_NAME_SIZE bytes) and checksum. A line of more than two
// blank-separated fields whose last field is exactly eight hex digits is a name with
// blanks: the name runs from its first to its last non-blank character before that field.
// Any other line is taken as "%260s %8X" would: a name of at most 260 non-blank characters,
// then a hex checksum field of 8 positions (optional sign taking one, optional 0x prefix
// taking none). Returns 2 when both were found, 1 when only the name was, 0 (name left
// alone) for a name with blanks longer than 260 characters, and -1 for a line that holds
// no name.
int scan_sfv_entry(const char* line, char* name, std::uint32_t* crc);
