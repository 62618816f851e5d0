// The file checksum's steps: small files read whole into a buffer, large ones through views.
#include "checksum/file_checksum.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "checksum/crc32.h"
#include "checksum/crc32_dispatch.h"
#include "checksum/crc_spread.h"

namespace {

// Room for size bytes and the one more that shows a file that grew.
bool reserve(ReadBuffer* buffer, std::uint64_t size) {
    if (buffer->size > size)
        return true;
    const std::size_t need = static_cast<std::size_t>(size) + 1;
    void* data = std::realloc(buffer->data, need);
    if (data == nullptr)
        return false;
    *buffer = ReadBuffer{static_cast<unsigned char*>(data), need};
    return true;
}

// A file smaller than this is read by one copy of a few microseconds, and the read itself shows
// a change of size (it asks for a byte more): a stamp taken again after it would see little
// that one taken just later would not, at a system call per file.
constexpr std::uint64_t STAMP_AFTER_MIN = std::uint64_t{64} << 10;

std::uint64_t piece_length(const OpenedFile* file, std::uint64_t offset) {
    return std::min(PIECE_SIZE, file->size - offset);
}

// Where no view or whole read fits in the address space left: small enough for any stack.
constexpr std::size_t SMALL_READ_SIZE = std::size_t{64} << 10;

// Folds the len bytes from offset into *reg, read through a small buffer. False when they
// could not all be read.
bool read_through_buffer(const OpenedFile* file, std::uint64_t offset, std::uint64_t len,
                         std::uint32_t* reg) {
    unsigned char buffer[SMALL_READ_SIZE];
    for (std::uint64_t at = offset, end = offset + len; at < end;) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(end - at, sizeof buffer));
        if (!plat_read_at(file->handle, at, buffer, n))
            return false;
        *reg = crc32_update(*reg, buffer, n);
        at += n;
    }
    return true;
}

// Folds the len bytes from offset into *reg through a view of their own, released before it
// returns, or through a small buffer where no view can be made (most often for want of
// address space). False when the file shrank under the view, or a read failed.
bool read_mapped_part(const OpenedFile* file, std::uint64_t offset, std::uint64_t len,
                      std::uint32_t* reg) {
    PlatView view; // set when the call succeeds
    if (!plat_map_view(file->handle, offset, len, &view))
        return read_through_buffer(file, offset, len, reg);
    // A cold view is read as the run has learned such views read best, or timed to learn it.
    ViewTicket ticket{ViewAsk::Not, -1};
    const auto start = std::chrono::steady_clock::now();
    if (view.cold) {
        ticket = view_trial_begin(crc_view_trial());
        plat_ask_view(file->handle, &view, ticket.ask);
    }
    const bool whole = plat_read_view(crc32_update, reg, view.data, view.size);
    plat_unmap_view(&view);
    if (view.cold) {
        const auto spent = std::chrono::steady_clock::now() - start;
        view_trial_end(crc_view_trial(), ticket, view.size,
                       std::chrono::duration_cast<std::chrono::nanoseconds>(spent).count());
    }
    return whole;
}

// Folds the len bytes from offset into *reg, reading only the file's data: its holes are
// zeros, folded in by the shift and never touched, so that reading allocates nothing.
bool read_part(const OpenedFile* file, std::uint64_t offset, std::uint64_t len,
               std::uint32_t* reg) {
    const std::uint64_t end = offset + len;
    for (std::uint64_t at = offset; at < end;) {
        std::uint64_t data; // both set by the call
        std::uint64_t data_end;
        if (!plat_next_data(file->handle, at, end, &data, &data_end))
            return false;
        if (data > at)
            *reg = crc32_shift(*reg, data - at);
        if (data_end > data && !read_mapped_part(file, data, data_end - data, reg))
            return false;
        at = std::max(data, data_end);
    }
    return true;
}

} // namespace

void file_release(OpenedFile* file) {
    plat_close_handle(file->handle);
    *file = OpenedFile{};
}

CrcResult file_finish(OpenedFile* file, bool whole, std::uint32_t reg) {
    FileStamp now; // set when the call succeeds
    const bool stamped = plat_file_stamp(file->handle, &now);
    const bool changed = stamped && (now.size != file->size || now.mtime != file->mtime);
    const std::uint64_t size = file->size;
    file_release(file);
    if (whole && stamped && !changed)
        return CrcResult{reg ^ 0xFFFFFFFFu, true, size};
    return CrcResult{0, false, 0, changed ? FileFault::Changed : FileFault::ReadError};
}

FileStep file_checksum_step(const char* path, NameCode code, PathSeen seen, bool cached_only,
                            ReadBuffer* buffer, OpenedFile* file, CrcResult* result) {
    *result = CrcResult{0, false};
    if (file->handle == 0) {
        PlatHandle handle; // set by a successful open
        FileStamp stamp;
        const OpenResult opened =
            plat_open_exclusive(path, cached_only, &handle, &stamp, &result->fault, code, seen);
        if (opened == OpenResult::Retry)
            return FileStep::Retry;
        if (opened == OpenResult::NotCached)
            return FileStep::NotCached;
        if (opened == OpenResult::Failed)
            return FileStep::Done;
        *file = OpenedFile{handle, stamp.size, stamp.mtime};
    } else {
        // Left open a while ago: the stamp is taken again, as an open now would take it.
        FileStamp stamp;
        if (!plat_file_stamp(file->handle, &stamp)) {
            file_release(file);
            result->fault = FileFault::ReadError;
            return FileStep::Done;
        }
        file->size = stamp.size;
        file->mtime = stamp.mtime;
    }
    const std::uint64_t size = file->size;
    std::uint32_t reg = 0xFFFFFFFFu;
    if (size <= READ_WHOLE_MAX && reserve(buffer, size)) {
        const ReadResult got =
            plat_read_file(file->handle, cached_only, buffer->data, buffer->size, size);
        if (got == ReadResult::NotCached)
            return FileStep::NotCached;
        if (got == ReadResult::Whole)
            reg = crc32_update(reg, buffer->data, size);
        if (got == ReadResult::Whole && size < STAMP_AFTER_MIN) {
            file_release(file);
            *result = CrcResult{reg ^ 0xFFFFFFFFu, true, size};
        } else {
            *result = file_finish(file, got == ReadResult::Whole, reg);
        }
        return FileStep::Done;
    }
    if (cached_only && !plat_data_cached(file->handle, size))
        return FileStep::NotCached;
    if (size >= 2 * PIECE_SIZE)
        return FileStep::Pieces;
    // A small file with no room for its buffer is read as a large one (which reads through a
    // small buffer where no view fits either).
    const bool whole = read_part(file, 0, size, &reg);
    *result = file_finish(file, whole, reg);
    return FileStep::Done;
}

std::uint64_t file_piece_count(const OpenedFile* file) {
    return (file->size + PIECE_SIZE - 1) / PIECE_SIZE;
}

bool file_checksum_piece(const OpenedFile* file, std::uint64_t index, std::uint32_t* reg) {
    const std::uint64_t offset = index * PIECE_SIZE;
    const std::uint64_t len = piece_length(file, offset);
    *reg = 0;
    if (!read_part(file, offset, len, reg))
        return false;
    *reg = crc32_shift(*reg, file->size - offset - len);
    return true;
}

// Every piece starts from 0; the preset register's share of the whole file is added once.
std::uint32_t file_pieces_base(const OpenedFile* file) {
    return crc32_shift(0xFFFFFFFFu, file->size);
}

bool file_checksum_next_piece(const OpenedFile* file, std::uint64_t index, std::uint32_t* reg) {
    const std::uint64_t offset = index * PIECE_SIZE;
    return read_part(file, offset, piece_length(file, offset), reg);
}

std::uint64_t file_piece_length(const OpenedFile* file, std::uint64_t index) {
    return piece_length(file, index * PIECE_SIZE);
}
