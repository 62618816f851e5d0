// Read-only mapped file: one file opened exclusively, mapped once, and read through views of
// its parts, so that memory holds only the part being read.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// Set by a successful map_opened_file, released by unmap_file.
struct MappedFile {
    PlatHandle file_handle;
    PlatHandle mapping_handle;
    std::uint64_t size;
};

enum MapStatus : int {
    MAP_OK = 0,
    MAP_ERR_MAPPING = 1,
};

// Maps an opened file (size bytes, not 0). On MAP_OK the record is full and owns file, and
// the caller must call unmap_file once; otherwise the file was closed and the record is left
// as it was.
int map_opened_file(PlatHandle file, std::uint64_t size, MappedFile* record);

// Folds the len bytes from offset into the CRC register *reg through a view of their own,
// released before it returns. False when they could not be
// read: no view could be made, or the file shrank under it.
bool read_mapped_part(const MappedFile* record, std::uint64_t offset, std::uint64_t len,
                      std::uint32_t* reg);

// Releases mapping and file, in that order.
void unmap_file(MappedFile* record);
