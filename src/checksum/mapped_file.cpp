// Whole-file mapping with the release order of its status codes.
#include "checksum/mapped_file.h"

int map_opened_file(PlatHandle file, std::uint64_t size, MappedFile* record) {
    PlatHandle mapping; // set when the call succeeds
    if (!plat_create_mapping(file, size, &mapping)) {
        plat_close_handle(file);
        return MAP_ERR_MAPPING;
    }
    const unsigned char* view = nullptr;
    if (!plat_map_view(mapping, size, &view)) {
        plat_close_handle(mapping);
        plat_close_handle(file);
        return MAP_ERR_VIEW;
    }
    *record = MappedFile{file, mapping, size, view};
    return MAP_OK;
}

void unmap_file(MappedFile* record) {
    plat_unmap_view(record->view, record->size);
    plat_close_handle(record->mapping_handle);
    plat_close_handle(record->file_handle);
}
