// CRC-32 (IEEE 802.3, reflected polynomial 0xEDB88320) of whole files.
#pragma once

#include <cstddef>
#include <cstdint>

#include "checksum/mapped_file.h"

// The reflected CRC-32 table; all zero until crc_table_init runs.
extern std::uint32_t crc_table[256];

// The low width bits of value in reverse order (width 0..32).
std::uint32_t reflect_bits(std::uint32_t value, std::uint32_t width);

// Fills crc_table and picks the fastest CRC kernel the processor supports.
// Must run once before the first checksum.
void crc_table_init();

// CRC-32 of the whole file at path, or 0 when it cannot be opened or read whole. For the
// main thread only: it reads small files into a buffer of its own.
std::uint32_t file_crc32(const char* path);

// ---- The steps of one file's checksum, for any thread ----

// Files up to this size are read whole with one read; larger ones are mapped. Measured on
// page-cached files: reading wins by 3 to 7 times up to 1 MiB, and up to 4 MiB it is at
// least even; from 8 MiB on a mapping wins by a fifth where the page cache holds the file in
// large folios (and loses several times where it holds it in single pages).
inline constexpr std::uint64_t READ_WHOLE_MAX = std::uint64_t{4} << 20;

// One thread's read buffer, grown as files need it; starts as {nullptr, 0}, ends with free.
struct ReadBuffer {
    unsigned char* data;
    std::size_t size;
};

enum class FileStart {
    Done,   // *crc holds the checksum (0: the file cannot be opened or read whole)
    Busy,   // *crc is 0: the open was refused while a handle, perhaps another thread's, was open
    Mapped, // the file is larger than READ_WHOLE_MAX and *mapped holds its view
};

// Opens path for the checksum and, for a small file, computes it.
FileStart file_crc32_start(const char* path, ReadBuffer* buffer, MappedFile* mapped,
                           std::uint32_t* crc);

// The CRC-32 of a whole mapped file, or 0 when the view cannot be read to its end (the file
// shrank). Releases the mapping.
std::uint32_t file_crc32_mapped(MappedFile* mapped);
