// Mapped files and the views of their parts.
#include "checksum/mapped_file.h"

#include "checksum/crc32_dispatch.h"

int map_opened_file(PlatHandle file, std::uint64_t size, MappedFile* record) {
    PlatHandle mapping; // set when the call succeeds
    if (!plat_create_mapping(file, size, &mapping)) {
        plat_close_handle(file);
        return MAP_ERR_MAPPING;
    }
    *record = MappedFile{file, mapping, size};
    return MAP_OK;
}

bool read_mapped_part(const MappedFile* record, std::uint64_t offset, std::uint64_t len,
                      std::uint32_t* reg) {
    // The view starts where views may; the bytes before offset in it are never touched.
    const std::uint64_t skip = offset % PLAT_VIEW_ALIGNMENT;
    const unsigned char* view = nullptr;
    if (!plat_map_view(record->mapping_handle, offset - skip, skip + len, &view))
        return false;
    plat_advise_sequential(view, skip + len);
    const bool whole = plat_read_view(crc32_update, reg, view + skip, len);
    plat_unmap_view(view, skip + len);
    return whole;
}

void unmap_file(MappedFile* record) {
    plat_close_handle(record->mapping_handle);
    plat_close_handle(record->file_handle);
}
