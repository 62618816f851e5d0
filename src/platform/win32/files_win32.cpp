// Win32 files and views: opens that share reading only, small files read whole, mapped views read
// under a per-thread guard, and the C runtime's text-mode streams.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstring>

#include "platform/platform.h"
#include "platform/win32/win32_paths.h"

using namespace plat_win32;

namespace {

// ---- Guard against a view that cannot be read ----

// What a thread reading a view needs to resume when a page of it cannot be read (a disk or
// network error, a removed drive, or a file cut short by another system). It lives on that
// thread's stack; a thread-local slot points at it while the view is read.
struct ViewGuard {
    const unsigned char* begin;
    const unsigned char* end;
    CONTEXT resume;
    // Volatile: read again after the context is restored, which the compiler cannot foresee.
    volatile LONG faulted;
};

DWORD guard_slot = TLS_OUT_OF_INDEXES;
INIT_ONCE guard_once = INIT_ONCE_STATIC_INIT;

LONG CALLBACK on_view_fault(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    // Windows reports an unreadable page as an in-page error; Wine, as an access violation.
    if ((record->ExceptionCode != EXCEPTION_IN_PAGE_ERROR &&
         record->ExceptionCode != EXCEPTION_ACCESS_VIOLATION) ||
        record->NumberParameters < 2)
        return EXCEPTION_CONTINUE_SEARCH;
    DWORD error = GetLastError(); // TlsGetValue clears it: keep the thread's own
    auto* guard = static_cast<ViewGuard*>(TlsGetValue(guard_slot));
    SetLastError(error);
    auto address = reinterpret_cast<const unsigned char*>(record->ExceptionInformation[1]);
    if (guard == nullptr || address < guard->begin || address >= guard->end)
        return EXCEPTION_CONTINUE_SEARCH;
    guard->faulted = 1;
    *info->ContextRecord = guard->resume;
    return EXCEPTION_CONTINUE_EXECUTION;
}

BOOL CALLBACK install_view_guard(PINIT_ONCE, PVOID, PVOID*) {
    guard_slot = TlsAlloc();
    return guard_slot != TLS_OUT_OF_INDEXES &&
           AddVectoredExceptionHandler(1, on_view_fault) != nullptr;
}

} // namespace

namespace {

// What the report may say of a file that could not be opened, by its error: nothing where
// there is no file to read (a directory is refused as access denied, and told apart).
FileFault fault_of(DWORD error, const wchar_t* system_path) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_DIRECTORY:
    case ERROR_NOT_READY:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_CANT_RESOLVE_FILENAME:
        return FileFault::None;
    case ERROR_ACCESS_DENIED:
        return is_directory(system_path) ? FileFault::None : FileFault::Denied;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return FileFault::InUse;
    case ERROR_TOO_MANY_OPEN_FILES:
        return FileFault::NoHandles;
    case ERROR_NO_SYSTEM_RESOURCES:
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
    case ERROR_NOT_ENOUGH_QUOTA:
        return FileFault::NoMemory;
    default:
        return FileFault::ReadError;
    }
}

// Faults that say nothing of the file: it is open elsewhere, or handles or memory ran out.
bool retry_fault(FileFault fault) {
    return fault == FileFault::InUse || fault == FileFault::NoHandles ||
           fault == FileFault::NoMemory;
}

FileStamp stamp_of(const BY_HANDLE_FILE_INFORMATION& info) {
    return FileStamp{std::uint64_t{info.nFileSizeHigh} << 32 | info.nFileSizeLow,
                     std::uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32 |
                         info.ftLastWriteTime.dwLowDateTime};
}

// ---- Files this process holds open through its streams ----

struct HeldFile {
    const void* owner; // nullptr: free
    DWORD volume;
    DWORD index_high;
    DWORD index_low;
};

// The list, its old version, the report and a read SFV file: a few at a time. Changed by the
// thread that opens streams, read by every thread that opens a file.
constexpr int MAX_HELD_FILES = 16;
HeldFile held_files[MAX_HELD_FILES];
SRWLOCK held_lock = SRWLOCK_INIT;

bool identity_of(HANDLE file, BY_HANDLE_FILE_INFORMATION* info) {
    return GetFileInformationByHandle(file, info) != 0;
}

// Whether the file info describes is one this process holds through a stream.
bool held_identity(const BY_HANDLE_FILE_INFORMATION& info) {
    bool held = false;
    AcquireSRWLockShared(&held_lock);
    for (const HeldFile& h : held_files)
        held = held || (h.owner != nullptr && h.volume == info.dwVolumeSerialNumber &&
                        h.index_high == info.nFileIndexHigh && h.index_low == info.nFileIndexLow);
    ReleaseSRWLockShared(&held_lock);
    return held;
}

// The same for the file at system_path. Asking for its attributes alone passes any share mode.
bool held_by_process(const wchar_t* system_path) {
    HANDLE file = CreateFileW(system_path, FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info;
    const bool held = identity_of(file, &info) && held_identity(info);
    CloseHandle(file);
    return held;
}

// Another process may hold a file for a moment (an indexer, a sync client): it is tried again
// after these waits, about 50 ms in all.
constexpr DWORD BUSY_WAITS_MS[] = {20, 30};

HANDLE open_shared_read(const wchar_t* system_path) {
    // Others may go on reading, as a player or a scanner does, but nobody may write: fails
    // while another handle (a stream of this process included) has the file open for writing.
    // Without FILE_FLAG_BACKUP_SEMANTICS a directory cannot be opened.
    return CreateFileW(system_path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

} // namespace

namespace plat_win32 {

void hold(HANDLE file, const void* owner) {
    BY_HANDLE_FILE_INFORMATION info;
    if (owner == nullptr || !identity_of(file, &info))
        return;
    const HeldFile entry{owner, info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    AcquireSRWLockExclusive(&held_lock);
    for (HeldFile& h : held_files) {
        if (h.owner == nullptr) {
            h = entry;
            break;
        }
    }
    ReleaseSRWLockExclusive(&held_lock);
}

void release_hold(const void* owner) {
    AcquireSRWLockExclusive(&held_lock);
    for (HeldFile& h : held_files) {
        if (h.owner == owner)
            h.owner = nullptr;
    }
    ReleaseSRWLockExclusive(&held_lock);
}

} // namespace plat_win32

// Windows cannot tell cheaply what is in memory: cached_only is never asked for here.
OpenResult plat_open_exclusive(const char* path, bool /*cached_only*/, PlatHandle* file,
                               FileStamp* stamp, FileFault* fault, NameCode code,
                               PathSeen /*seen*/) {
    wchar_t system_path[SYSTEM_PATH_SIZE];
    *fault = FileFault::None;
    // A device acts on its open (a serial line, a tape, a pipe's server): never opened.
    if (path[0] == '\0' || !exact_system_path(path, system_path, code) ||
        !names_file_system_path(system_path))
        return OpenResult::Failed;
    HANDLE handle = open_shared_read(system_path);
    for (DWORD wait : BUSY_WAITS_MS) {
        if (handle != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION)
            break;
        // Refused as on POSIX: this process never lets go of its streams while it reads.
        if (held_by_process(system_path)) {
            *fault = FileFault::Own;
            return OpenResult::Failed;
        }
        Sleep(wait);
        handle = open_shared_read(system_path);
    }
    if (handle == INVALID_HANDLE_VALUE) {
        *fault = fault_of(GetLastError(), system_path);
        return retry_fault(*fault) ? OpenResult::Retry : OpenResult::Failed;
    }
    // Only files on disk, confirmed on what was opened.
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(handle) != FILE_TYPE_DISK || !identity_of(handle, &info) ||
        stamp_of(info).size > std::uint64_t{INT64_MAX}) {
        CloseHandle(handle);
        return OpenResult::Failed;
    }
    // A stream of this process that only reads (the SFV file being checked) shares reading.
    if (held_identity(info)) {
        CloseHandle(handle);
        *fault = FileFault::Own;
        return OpenResult::Failed;
    }
    *file = as_plat(handle);
    *stamp = stamp_of(info);
    return OpenResult::Opened;
}

ReadResult plat_read_file(PlatHandle file, bool /*cached_only*/, unsigned char* buffer,
                          std::size_t capacity, std::uint64_t size) {
    if (file == 0 || capacity > MAXDWORD)
        return ReadResult::Changed;
    // Nothing reads these handles but this, so the file position is still at the start.
    DWORD got = 0;
    return ReadFile(as_handle(file), buffer, static_cast<DWORD>(capacity), &got, nullptr) != 0 &&
                   got == size
               ? ReadResult::Whole
               : ReadResult::Changed;
}

bool plat_read_at(PlatHandle file, std::uint64_t offset, unsigned char* buffer, std::size_t len) {
    while (len > 0) {
        // The offset is given with each read, so threads reading one file do not mix.
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        const DWORD want = len > (DWORD{1} << 30) ? DWORD{1} << 30 : static_cast<DWORD>(len);
        DWORD got = 0;
        if (ReadFile(as_handle(file), buffer, want, &got, &at) == 0 || got == 0)
            return false;
        buffer += got;
        offset += got;
        len -= got;
    }
    return true;
}

bool plat_file_stamp(PlatHandle file, FileStamp* stamp) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!identity_of(as_handle(file), &info))
        return false;
    *stamp = stamp_of(info);
    return true;
}

// What is in memory is not known on Windows, so no device is learned to read best this way.
void plat_prefetch(PlatHandle, std::uint64_t) {}

bool plat_data_cached(PlatHandle /*file*/, std::uint64_t /*size*/) {
    return false;
}

bool plat_residency_known() {
    return false;
}

// Reading a hole of a sparse NTFS file through a view allocates nothing: all is data here.
bool plat_next_data(PlatHandle /*file*/, std::uint64_t offset, std::uint64_t end,
                    std::uint64_t* data, std::uint64_t* data_end) {
    *data = offset;
    *data_end = end;
    return true;
}

bool plat_map_view(PlatHandle file, std::uint64_t offset, std::uint64_t len, PlatView* view) {
    const std::uint64_t skip = offset % PLAT_VIEW_ALIGNMENT;
    const std::uint64_t start = offset - skip;
    const std::uint64_t end = offset + len;
    if (file == 0 || len == 0 || len > SIZE_MAX - skip)
        return false;
    // Sized to the view's end, so that a file that shrank below it fails here instead of
    // giving a shorter view. The view keeps the mapping alive once its handle is closed.
    HANDLE mapping =
        CreateFileMappingW(as_handle(file), nullptr, PAGE_READONLY, static_cast<DWORD>(end >> 32),
                           static_cast<DWORD>(end & 0xFFFFFFFFu), nullptr);
    if (mapping == nullptr)
        return false;
    // The cache manager reads ahead on sequential page faults by itself.
    void* p =
        MapViewOfFile(mapping, FILE_MAP_READ, static_cast<DWORD>(start >> 32),
                      static_cast<DWORD>(start & 0xFFFFFFFFu), static_cast<SIZE_T>(skip + len));
    CloseHandle(mapping);
    if (p == nullptr)
        return false;
    const auto* mapped = static_cast<const unsigned char*>(p);
    *view = PlatView{mapped + skip, len, mapped, skip + len, start, false};
    return true;
}

// The cache manager reads ahead by itself, and is not asked.
void plat_ask_view(PlatHandle, const PlatView*, ViewAsk) {}

void plat_unmap_view(const PlatView* view) {
    UnmapViewOfFile(view->mapped);
}

void plat_close_handle(PlatHandle handle) {
    if (handle != 0)
        CloseHandle(as_handle(handle));
}

bool plat_read_view(PlatViewReader reader, std::uint32_t* state, const unsigned char* view,
                    std::uint64_t size) {
    if (!InitOnceExecuteOnce(&guard_once, install_view_guard, nullptr, nullptr)) {
        *state = reader(*state, view, static_cast<std::size_t>(size));
        return true;
    }
    ViewGuard guard{view, view + size, {}, 0};
    TlsSetValue(guard_slot, &guard);
    // A fault in the view resumes here, with faulted set.
    RtlCaptureContext(&guard.resume);
    if (guard.faulted != 0) {
        TlsSetValue(guard_slot, nullptr);
        return false;
    }
    *state = reader(*state, view, static_cast<std::size_t>(size));
    TlsSetValue(guard_slot, nullptr);
    return true;
}

std::FILE* plat_fopen(const char* path, const char* mode) {
    wchar_t system_path[SYSTEM_PATH_SIZE];
    wchar_t wide_mode[8];
    DWORD used = 0;
    if (!typed_system_path(path, system_path) || !names_file_system_path(system_path) ||
        is_directory(system_path) || !widen(mode, std::strlen(mode), wide_mode, 8, &used))
        return nullptr;
    // The runtime opens with read and write sharing: plat_open_exclusive is refused a stream
    // that writes by the share modes, and tells one that reads by its identity.
    std::FILE* stream = _wfopen(system_path, wide_mode);
    if (stream == nullptr)
        return nullptr;
    // A device name would read the console or write into nothing: only files are taken.
    HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    if (GetFileType(file) != FILE_TYPE_DISK) {
        std::fclose(stream);
        return nullptr;
    }
    hold(file, stream);
    return stream;
}

int plat_fclose(std::FILE* stream) {
    if (stream == nullptr)
        return EOF;
    release_hold(stream);
    return std::fclose(stream);
}

void plat_remove(const char* path) {
    wchar_t system_path[SYSTEM_PATH_SIZE];
    if (typed_system_path(path, system_path))
        DeleteFileW(system_path);
}

bool plat_redirect_stdout(const char* name) {
    wchar_t system_path[SYSTEM_PATH_SIZE];
    if (!typed_system_path(name, system_path))
        return false;
    // Opened first, so a failure leaves standard output as it was; text mode keeps CR LF.
    int fd = _wopen(system_path, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_TEXT, _S_IREAD | _S_IWRITE);
    if (fd < 0)
        return false;
    std::fflush(stdout);
    bool moved = _dup2(fd, 1) == 0;
    _close(fd);
    static const char report_owner = 0;
    release_hold(&report_owner);
    if (moved)
        hold(reinterpret_cast<HANDLE>(_get_osfhandle(1)), &report_owner);
    return moved;
}
