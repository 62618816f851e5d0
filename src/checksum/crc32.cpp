// The CRC-32 table, built from the polynomial at start-up, and the file checksum.
#include "checksum/crc32.h"

#include <cstdlib>

#include "checksum/crc32_kernels.h"
#include "platform/platform.h"

std::uint32_t crc_table[256];

std::uint32_t reflect_bits(std::uint32_t value, std::uint32_t width) {
    std::uint32_t result = 0;
    for (std::uint32_t k = 0; k < width; ++k) {
        if (value & (1u << k))
            result |= 1u << (width - 1 - k);
    }
    return result;
}

void crc_table_init() {
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t a = reflect_bits(i, 8) << 24;
        for (int bit = 0; bit < 8; ++bit)
            a = (a & 0x80000000u) ? (a << 1) ^ 0x04C11DB7u : a << 1;
        crc_table[i] = reflect_bits(a, 32);
    }
    crc_kernels_init();
}

std::uint32_t crc32_bytewise(std::uint32_t reg, const unsigned char* data, std::size_t len) {
    for (std::size_t i = 0; i < len; ++i)
        reg = (reg >> 8) ^ crc_table[(reg ^ data[i]) & 0xFF];
    return reg;
}

// Room for size bytes and the one more that shows a file that grew.
static bool reserve(ReadBuffer* buffer, std::uint64_t size) {
    if (buffer->size > size)
        return true;
    const std::size_t need = static_cast<std::size_t>(size) + 1;
    void* data = std::realloc(buffer->data, need);
    if (data == nullptr)
        return false;
    *buffer = ReadBuffer{static_cast<unsigned char*>(data), need};
    return true;
}

FileStart file_crc32_start(const char* path, ReadBuffer* buffer, MappedFile* mapped,
                           std::uint32_t* crc) {
    *crc = 0;
    PlatHandle file; // both set by a successful open
    std::uint64_t size;
    const OpenResult opened = plat_open_exclusive(path, &file, &size);
    if (opened != OpenResult::Opened)
        return opened == OpenResult::Busy ? FileStart::Busy : FileStart::Done;
    if (size == 0) {
        plat_close_handle(file);
        return FileStart::Done;
    }
    if (size > READ_WHOLE_MAX)
        return map_opened_file(file, size, mapped) == MAP_OK ? FileStart::Mapped : FileStart::Done;
    // A file that changed size while it was read counts as unreadable, as with a mapping.
    if (reserve(buffer, size) && plat_read_file(file, buffer->data, buffer->size, size))
        *crc =
            crc32_update(0xFFFFFFFFu, buffer->data, static_cast<std::size_t>(size)) ^ 0xFFFFFFFFu;
    plat_close_handle(file);
    return FileStart::Done;
}

std::uint32_t file_crc32_mapped(MappedFile* mapped) {
    plat_advise_sequential(mapped->view, mapped->size);
    std::uint32_t reg = 0xFFFFFFFFu;
    // A file cut short under the mapping cannot be read whole: treat it as unreadable.
    const bool whole = plat_read_view(crc32_update, &reg, mapped->view, mapped->size);
    unmap_file(mapped);
    return whole ? reg ^ 0xFFFFFFFFu : 0;
}

std::uint32_t file_crc32(const char* path) {
    static ReadBuffer buffer{nullptr, 0};
    MappedFile mapped;
    std::uint32_t crc; // set on every path
    return file_crc32_start(path, &buffer, &mapped, &crc) == FileStart::Mapped
               ? file_crc32_mapped(&mapped)
               : crc;
}
