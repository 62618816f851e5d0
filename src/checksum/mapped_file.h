// Read-only whole-file view: one file opened exclusively and mapped in one piece.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// Either empty (all fields zero) or full (all set by a successful map_file).
struct MappedFile {
    PlatHandle file_handle;
    PlatHandle mapping_handle;
    std::uint64_t size;
    const unsigned char* view;
};

enum MapStatus : int {
    MAP_OK = 0,
    MAP_ERR_OPEN = 1,
    MAP_ERR_SIZE = 2,
    MAP_ERR_MAPPING = 3,
    MAP_ERR_VIEW = 4,
};

// Maps the file at path whole. On MAP_OK the record is full and the caller must call
// unmap_file once; on any other status everything opened was released (newest first)
// and the record is empty. An empty file fails with MAP_ERR_MAPPING.
int map_file(const char* path, MappedFile* record);

// The steps of map_file after the open and the size: maps file (size bytes) whole. The
// record then owns file; on any status but MAP_OK file is closed and the record is empty.
int map_opened_file(PlatHandle file, std::uint64_t size, MappedFile* record);

// Releases view, mapping and file, in that order, and empties the record. Null is ignored.
void unmap_file(MappedFile* record);
