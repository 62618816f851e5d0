// Read-only whole-file view: one file opened exclusively and mapped in one piece.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// Set by a successful map_opened_file, released by unmap_file.
struct MappedFile {
    PlatHandle file_handle;
    PlatHandle mapping_handle;
    std::uint64_t size;
    const unsigned char* view;
};

enum MapStatus : int {
    MAP_OK = 0,
    MAP_ERR_MAPPING = 1,
    MAP_ERR_VIEW = 2,
};

// Maps an opened file (size bytes) whole. On MAP_OK the record is full and owns file, and
// the caller must call unmap_file once; on any other status everything was released (newest
// first, file too) and the record is left as it was. An empty file fails with MAP_ERR_MAPPING.
int map_opened_file(PlatHandle file, std::uint64_t size, MappedFile* record);

// Releases view, mapping and file, in that order.
void unmap_file(MappedFile* record);
