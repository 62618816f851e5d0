// Whole-file mapping with the release order of its status codes.
#include "checksum/mapped_file.h"

int map_file(const char* path, MappedFile* record) {
    *record = MappedFile{0, 0, 0, nullptr};
    PlatHandle file = 0;
    std::uint64_t size = 0;
    if (plat_open_exclusive(path, &file, &size) != OpenResult::Opened)
        return MAP_ERR_OPEN;
    if (!plat_file_size(file, &size)) {
        plat_close_handle(file);
        return MAP_ERR_SIZE;
    }
    return map_opened_file(file, size, record);
}

int map_opened_file(PlatHandle file, std::uint64_t size, MappedFile* record) {
    *record = MappedFile{0, 0, 0, nullptr};
    PlatHandle mapping = 0;
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
    if (record == nullptr)
        return;
    plat_unmap_view(record->view, record->size);
    plat_close_handle(record->mapping_handle);
    plat_close_handle(record->file_handle);
    *record = MappedFile{0, 0, 0, nullptr};
}
