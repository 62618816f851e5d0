// The SFV file format: the lines the writer produces and the rules the reader applies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "common/constants.h"

// Widest name the entry scan takes, and the buffer that holds it with its NUL.
inline constexpr std::size_t SFV_NAME_WIDTH = 260;
inline constexpr std::size_t SFV_NAME_SIZE = SFV_NAME_WIDTH + 1;

// Writes the two header lines, after a UTF-8 byte-order mark for a list in UTF-8. Lines end in
// CR LF whatever the platform (the stream is binary). False when the stream reports an error.
bool write_sfv_header(std::FILE* stream, bool utf8_mark = false);

// Writes "name CHECKSUM" (eight upper-case hex digits) and CR LF. False on a stream error.
bool write_sfv_entry(std::FILE* stream, const char* name, std::uint32_t crc);

// Reads a binary stream as Windows text mode does, CR LF becoming LF and a Ctrl-Z byte ending
// the file, except that a lone CR ends a line as well: lists made on some systems end lines so,
// and no name a list could be made from holds one.
inline constexpr std::size_t SFV_SNIFF_SIZE = 1024;
struct SfvReader {
    std::FILE* stream;
    // The bytes read and not yet delivered: first the file's first bytes, which tell its
    // encoding, then each block after them.
    unsigned char start[SFV_SNIFF_SIZE];
    std::size_t start_len;
    std::size_t start_pos; // the next of them to deliver
    int pending;           // a byte read ahead after a CR, or EOF when none
    bool ended;            // Ctrl-Z, end of file or a read error was met
    bool failed;           // a read error was met: the lines after it are unknown
};

enum class SfvText {
    Bytes, // text in the code page, or in any encoding that keeps ASCII as it is
    Utf8,  // a UTF-8 byte-order mark, which is passed over
    Utf16, // a UTF-16 byte-order mark, and a NUL byte in the first line, as UTF-16 text has
};

// Starts reading stream from its beginning and tells how its text is encoded.
SfvText sfv_reader_init(SfvReader* reader, std::FILE* stream);

// Reads the next line (up to and including LF, at most size - 1 characters) into line and
// ends it with NUL. Returns the number of characters read; 0 ends the reading. A line cut by a
// read error is not delivered (reader->failed tells).
std::size_t read_sfv_line(SfvReader* reader, char* line, std::size_t size);

// True for a comment line: empty, or a ';' after any run of spaces and tabs.
bool is_comment_line(const char* line);

// What scan_sfv_entry found in a line.
inline constexpr int SFV_NO_NAME = -1;
inline constexpr int SFV_NAME_ONLY = 1;
inline constexpr int SFV_ENTRY = 2;
inline constexpr int SFV_NAME_TOO_LONG = 3; // an entry whose name is longer than SFV_NAME_WIDTH

// Takes a line apart into name (SFV_NAME_SIZE bytes) and checksum. A line of more than two
// blank-separated fields whose last field is exactly eight hex digits is a name with
// blanks: the name runs from its first to its last non-blank character before that field.
// Any other line is a name of non-blank characters, then a hex checksum field of 8 positions
// (optional sign taking one, optional 0x prefix taking none). A name longer than
// SFV_NAME_WIDTH is never cut into a shorter one: with a checksum after it, the result is
// SFV_NAME_TOO_LONG and name holds its first SFV_NAME_WIDTH characters.
int scan_sfv_entry(const char* line, char* name, std::uint32_t* crc);

// The same line read without the rule for names with blanks: the first field is the name, the
// next the checksum (as a line with a second checksum after the first has them).
int scan_sfv_first_fields(const char* line, char* name, std::uint32_t* crc);
