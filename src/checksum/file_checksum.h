// One file's CRC-32 in steps that any thread may take: open it, read it whole or through
// views of its parts, and read a large file in pieces that several threads can share.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

// A file opened exclusively for its checksum, and its size and modification time as the open
// gave them: the checksum counts only if both are the same once it is read.
struct OpenedFile {
    PlatHandle handle;
    std::uint64_t size;
    std::uint64_t mtime;
};

// A file's checksum, and whether the file was read at all: an unreadable file gives 0, as
// does a file whose CRC-32 is 0. Not read, fault tells why, where the report should say.
struct CrcResult {
    std::uint32_t crc;
    bool read;
    std::uint64_t bytes = 0; // read
    FileFault fault = FileFault::None;
};

// Files up to this size are read whole with one read; larger ones through views. Measured on
// page-cached files: reading wins by 3 to 7 times up to 1 MiB, and up to 4 MiB it is at
// least even; from 8 MiB on a mapping wins by a fifth where the page cache holds the file in
// large folios (and loses several times where it holds it in single pages).
inline constexpr std::uint64_t READ_WHOLE_MAX = std::uint64_t{4} << 20;

// A larger file is read piece by piece, each through a view of its own: several threads can
// share the pieces of a file at least two pieces long, and memory holds only those being
// read.
inline constexpr std::uint64_t PIECE_SIZE = std::uint64_t{8} << 20;
static_assert(PIECE_SIZE % PLAT_VIEW_ALIGNMENT == 0, "pieces map nothing before their start");

// One thread's read buffer, grown as files need it; starts as {nullptr, 0}, ends with free.
struct ReadBuffer {
    unsigned char* data;
    std::size_t size;
};

enum class FileStep {
    Done,      // *result holds the checksum; nothing is held
    Retry,     // not opened, for a reason that is not the file's own; nothing is held
    NotCached, // cached_only: the rest must come from the device; *file holds what is open
    Pieces,    // *file holds the file open, at least two pieces long
};

// Takes the file at path (in code) as far as it can: opens it unless *file already holds it
// open (an earlier NotCached step; an empty record otherwise), then reads it whole or in pieces.
// With cached_only it never reads the device. seen as for plat_open_exclusive.
FileStep file_checksum_step(const char* path, NameCode code, PathSeen seen, bool cached_only,
                            ReadBuffer* buffer, OpenedFile* file, CrcResult* result);

std::uint64_t file_piece_count(const OpenedFile* file);

// The register of piece index read from 0 and moved to the end of the file, so that the
// pieces join by XOR onto file_pieces_base. False when the piece could not be read.
bool file_checksum_piece(const OpenedFile* file, std::uint64_t index, std::uint32_t* reg);
std::uint32_t file_pieces_base(const OpenedFile* file);

// Folds piece index into *reg, the register of the pieces before it read in order. False
// when the piece could not be read.
bool file_checksum_next_piece(const OpenedFile* file, std::uint64_t index, std::uint32_t* reg);

// The bytes of piece index.
std::uint64_t file_piece_length(const OpenedFile* file, std::uint64_t index);

// The result of a file read to its end, whole when every byte was summed into reg (from the
// preset): trusted only when the file's size and modification time are still those of its
// open. Releases *file.
CrcResult file_finish(OpenedFile* file, bool whole, std::uint32_t reg);

// Releases what *file holds and empties it.
void file_release(OpenedFile* file);
