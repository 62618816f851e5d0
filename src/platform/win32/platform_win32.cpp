// Win32 body of the platform interface: the wide file search, exclusive open and file
// mapping calls, and the C runtime's text-mode streams. Program paths are code-page (ANSI)
// strings; the system sees them as full "\\?\" paths.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>

#include "platform/platform.h"

// The C runtime start-up must hand patterns to main as typed, never expanded.
extern "C" {
int _dowildcard = 0;
}

namespace {

HANDLE as_handle(PlatHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

PlatHandle as_plat(HANDLE handle) {
    return reinterpret_cast<PlatHandle>(handle);
}

bool is_drive_letter(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// ---- System paths ----

// The longest path the system takes, terminating NUL included.
constexpr DWORD SYSTEM_PATH_SIZE = 32768;
// Program paths given to the layer are far shorter.
constexpr int INPUT_PATH_SIZE = 1024;
// Room for the longest prefix, "\\?\UNC\".
constexpr DWORD PREFIX_ROOM = 8;

bool is_separator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// Converts the code-page text[0..len) into out (size wide characters) and ends it with a
// NUL; *used is its length. False when it does not fit.
bool widen(const char* text, std::size_t len, wchar_t* out, DWORD size, DWORD* used) {
    *used = 0;
    out[0] = L'\0';
    if (len == 0)
        return true;
    if (len >= size)
        return false;
    int n = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(len), out,
                                static_cast<int>(size - 1));
    if (n <= 0)
        return false;
    *used = static_cast<DWORD>(n);
    out[n] = L'\0';
    return true;
}

// Writes the "\\?\" form of the full path of wide into out (SYSTEM_PATH_SIZE characters),
// with a backslash appended when as_directory; *used is its length. Such paths are taken as
// written, up to the system's own length limit.
bool full_system_path(const wchar_t* wide, bool as_directory, wchar_t* out, DWORD* used) {
    wchar_t* full = out + PREFIX_ROOM;
    DWORD len = GetFullPathNameW(wide, SYSTEM_PATH_SIZE - PREFIX_ROOM - 1, full, nullptr);
    if (len == 0 || len >= SYSTEM_PATH_SIZE - PREFIX_ROOM - 1)
        return false;
    if (as_directory && !is_separator(full[len - 1])) {
        full[len++] = L'\\';
        full[len] = L'\0';
    }
    const wchar_t* prefix = L"\\\\?\\";
    DWORD skip = 0;
    if (is_separator(full[0]) && is_separator(full[1])) {
        if ((full[2] == L'?' || full[2] == L'.') && is_separator(full[3])) {
            prefix = L""; // already a device or "\\?\" path
        } else {
            prefix = L"\\\\?\\UNC\\";
            skip = 2;
        }
    }
    DWORD prefix_len = static_cast<DWORD>(std::wcslen(prefix));
    std::wmemmove(out + prefix_len, full + skip, len - skip + 1);
    std::wmemcpy(out, prefix, prefix_len);
    *used = prefix_len + len - skip;
    return true;
}

// The system path of a file or directory the program found or was told of: the full path
// of the directory part, then the last component exactly as given. Win32 path rules would
// strip its trailing dots and spaces (naming another file) and take a device name for the
// device.
bool exact_system_path(const char* path, wchar_t* out) {
    std::size_t dir_len = plat_directory_length(path);
    wchar_t input[INPUT_PATH_SIZE];
    DWORD used = 0;
    if (!widen(dir_len == 0 ? "." : path, dir_len == 0 ? 1 : dir_len, input, INPUT_PATH_SIZE,
               &used) ||
        !full_system_path(input, true, out, &used))
        return false;
    DWORD name_len = 0;
    return widen(path + dir_len, std::strlen(path + dir_len), out + used, SYSTEM_PATH_SIZE - used,
                 &name_len);
}

// The system path of a name the user typed (the SFV file, the report file): Win32 path
// rules apply as at the prompt, and the "\\?\" form lifts the length limit.
bool typed_system_path(const char* path, wchar_t* out) {
    wchar_t input[INPUT_PATH_SIZE];
    DWORD used = 0;
    return path[0] != '\0' && widen(path, std::strlen(path), input, INPUT_PATH_SIZE, &used) &&
           full_system_path(input, false, out, &used);
}

bool is_directory(const wchar_t* system_path) {
    DWORD attributes = GetFileAttributesW(system_path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// ---- Search results ----

// A byte that the program's paths, an SFV line or the report cannot hold. In double-byte
// code pages a trail byte may be a backslash, which the program would take for a separator.
bool unsupported_byte(unsigned char c) {
    return c < 0x20 || std::strchr("\\/:*?\"<>|", c) != nullptr;
}

// Fills data from a wide search result. A name that does not convert exactly into the code
// page, or that converts into a byte the program cannot hold, is marked unsupported: it is
// shown with "?" for what has no equivalent, and told apart from other such names by a hash of
// its UTF-16 form. False for a name too long for the program (double-byte code pages only),
// which is passed over as on POSIX.
bool fill(const WIN32_FIND_DATAW& found, FindData* data) {
    data->attributes =
        (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FIND_ATTR_DIRECTORY : 0u;
    data->name_id = 0;
    // UTF-8 as the code page takes neither best-fit nor default-character options.
    bool utf8 = GetACP() == CP_UTF8;
    BOOL used_default = FALSE;
    constexpr int size = static_cast<int>(sizeof data->name);
    int n = WideCharToMultiByte(CP_ACP, utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS,
                                found.cFileName, -1, data->name, size, nullptr,
                                utf8 ? nullptr : &used_default);
    bool exact = n > 0 && !used_default;
    if (n <= 0 && utf8 && GetLastError() == ERROR_NO_UNICODE_TRANSLATION)
        n = WideCharToMultiByte(CP_UTF8, 0, found.cFileName, -1, data->name, size, nullptr,
                                nullptr);
    if (n <= 0)
        return false;
    for (const char* p = data->name; *p != '\0' && exact; ++p)
        exact = !unsupported_byte(static_cast<unsigned char>(*p));
    // A directory is entered through Win32 path rules, which would strip these.
    std::size_t len = std::strlen(data->name);
    if ((data->attributes & FIND_ATTR_DIRECTORY) != 0 && std::strcmp(data->name, ".") != 0 &&
        std::strcmp(data->name, "..") != 0 &&
        (data->name[len - 1] == '.' || data->name[len - 1] == ' '))
        exact = false;
    if (!exact) {
        data->attributes |= FIND_ATTR_UNSUPPORTED;
        // FNV-1a over the UTF-16 code units.
        std::uint64_t h = 14695981039346656037u;
        for (const wchar_t* p = found.cFileName; *p != L'\0'; ++p)
            h = (h ^ static_cast<std::uint16_t>(*p)) * 1099511628211u;
        data->name_id = h;
    }
    return true;
}

} // namespace

struct FindSearch {
    HANDLE handle;
};

namespace {

// ---- Guard against a view that cannot be read ----

// What a thread reading a view needs to resume when a page of it cannot be read (a disk or
// network error, a removed drive, or a file cut short by another system). It lives on that
// thread's stack; a thread-local slot points at it while the view is read.
struct ViewGuard {
    const unsigned char* begin;
    const unsigned char* end;
    CONTEXT resume;
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

// ---- Console ----

UINT saved_output_cp = 0;

void restore_output_cp() {
    if (saved_output_cp != 0)
        SetConsoleOutputCP(saved_output_cp);
}

BOOL WINAPI on_console_event(DWORD) {
    restore_output_cp();
    return FALSE; // the default handling then ends the process
}

} // namespace

void plat_init() {
    // The report holds code-page bytes; a console shows them in its own (OEM) code page, so
    // for the run it takes the code page the names are in. Redirected output is left alone.
    DWORD mode = 0;
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out == INVALID_HANDLE_VALUE || out == nullptr || !GetConsoleMode(out, &mode))
        return;
    UINT current = GetConsoleOutputCP();
    if (current == 0 || current == GetACP() || !SetConsoleOutputCP(GetACP()))
        return;
    saved_output_cp = current;
    std::atexit(restore_output_cp);
    SetConsoleCtrlHandler(on_console_event, TRUE);
}

std::size_t plat_directory_length(const char* path) {
    std::size_t length = 0;
    if (is_drive_letter(static_cast<unsigned char>(path[0])) && path[1] == ':')
        length = 2;
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '\\' || *p == '/')
            length = static_cast<std::size_t>(p - path) + 1;
    }
    return length;
}

FindSearch* plat_find_first(const char* pattern_path, FindData* data) {
    // A path that ends in its directory holds no name pattern: it lists nothing, as the
    // other platforms do, whatever the file system would make of it.
    if (pattern_path[plat_directory_length(pattern_path)] == '\0')
        return nullptr;
    // The "\\?\" form also keeps a device name as pattern from matching the device.
    wchar_t path[SYSTEM_PATH_SIZE];
    if (!exact_system_path(pattern_path, path))
        return nullptr;
    WIN32_FIND_DATAW found;
    HANDLE handle = FindFirstFileW(path, &found);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    while (!fill(found, data)) {
        if (!FindNextFileW(handle, &found)) {
            FindClose(handle);
            return nullptr;
        }
    }
    FindSearch* search = new (std::nothrow) FindSearch{handle};
    if (search == nullptr)
        FindClose(handle);
    return search;
}

bool plat_find_next(FindSearch* search, FindData* data) {
    if (search == nullptr)
        return false;
    WIN32_FIND_DATAW found;
    do {
        if (!FindNextFileW(search->handle, &found))
            return false;
    } while (!fill(found, data));
    return true;
}

void plat_find_close(FindSearch* search) {
    if (search == nullptr)
        return;
    FindClose(search->handle);
    delete search;
}

bool plat_open_exclusive(const char* path, PlatHandle* file) {
    wchar_t system_path[SYSTEM_PATH_SIZE];
    if (path[0] == '\0' || !exact_system_path(path, system_path))
        return false;
    // Share mode 0: fails while any other handle (a stream of this process included) has the
    // file open. Without FILE_FLAG_BACKUP_SEMANTICS a directory cannot be opened.
    HANDLE handle = CreateFileW(system_path, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    // Only files on disk: a "\\?\" path given as an SFV entry could name a device.
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        return false;
    }
    *file = as_plat(handle);
    return true;
}

bool plat_file_size(PlatHandle file, std::uint64_t* size) {
    LARGE_INTEGER value;
    if (file == 0 || !GetFileSizeEx(as_handle(file), &value) || value.QuadPart < 0)
        return false;
    *size = static_cast<std::uint64_t>(value.QuadPart);
    return true;
}

bool plat_create_mapping(PlatHandle file, std::uint64_t size, PlatHandle* mapping) {
    // Sized, so that a file that shrank since its size was taken fails here instead of
    // giving a shorter view; Windows itself refuses an empty file.
    if (file == 0 || size == 0)
        return false;
    HANDLE handle =
        CreateFileMappingW(as_handle(file), nullptr, PAGE_READONLY, static_cast<DWORD>(size >> 32),
                           static_cast<DWORD>(size & 0xFFFFFFFFu), nullptr);
    if (handle == nullptr)
        return false;
    *mapping = as_plat(handle);
    return true;
}

bool plat_map_view(PlatHandle mapping, std::uint64_t size, const unsigned char** view) {
    if (mapping == 0 || size == 0 || size > SIZE_MAX)
        return false;
    void* p = MapViewOfFile(as_handle(mapping), FILE_MAP_READ, 0, 0, 0);
    if (p == nullptr)
        return false;
    *view = static_cast<const unsigned char*>(p);
    return true;
}

void plat_unmap_view(const unsigned char* view, std::uint64_t /*size*/) {
    if (view != nullptr)
        UnmapViewOfFile(view);
}

void plat_close_handle(PlatHandle handle) {
    if (handle != 0)
        CloseHandle(as_handle(handle));
}

void plat_advise_sequential(const unsigned char* /*view*/, std::uint64_t /*size*/) {
    // The cache manager reads ahead on sequential page faults by itself.
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
    if (!typed_system_path(path, system_path) || is_directory(system_path) ||
        !widen(mode, std::strlen(mode), wide_mode, 8, &used))
        return nullptr;
    // The runtime opens with read and write sharing, so plat_open_exclusive fails on the
    // file by itself while the stream is open.
    std::FILE* stream = _wfopen(system_path, wide_mode);
    if (stream == nullptr)
        return nullptr;
    // A device name would read the console or write into nothing: only files are taken.
    if (GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)))) != FILE_TYPE_DISK) {
        std::fclose(stream);
        return nullptr;
    }
    return stream;
}

int plat_fclose(std::FILE* stream) {
    if (stream == nullptr)
        return EOF;
    return std::fclose(stream);
}

bool plat_remove(const char* path) {
    wchar_t system_path[SYSTEM_PATH_SIZE];
    return typed_system_path(path, system_path) && DeleteFileW(system_path) != 0;
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
    return moved;
}

bool plat_dir_identity(const char* path, DirIdentity* id) {
    wchar_t system_path[SYSTEM_PATH_SIZE];
    if (!exact_system_path(path, system_path))
        return false;
    // A directory opens without its trailing backslash, except a drive's root ("\\?\d:\").
    std::size_t len = std::wcslen(system_path);
    if (len > 1 && is_separator(system_path[len - 1]) && system_path[len - 2] != L':')
        system_path[len - 1] = L'\0';
    // Backup semantics let CreateFileW open a directory; links are followed to their target.
    HANDLE handle =
        CreateFileW(system_path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info;
    bool ok = GetFileInformationByHandle(handle, &info) != 0 &&
              (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // The 128-bit id, unique on ReFS too, where the 64-bit index may not be.
    FILE_ID_INFO wide_id;
    bool have_wide_id =
        ok && GetFileInformationByHandleEx(handle, FileIdInfo, &wide_id, sizeof wide_id) != 0;
    CloseHandle(handle);
    if (!ok)
        return false;
    if (have_wide_id) {
        id->volume = wide_id.VolumeSerialNumber;
        std::memcpy(&id->index_low, wide_id.FileId.Identifier, sizeof id->index_low);
        std::memcpy(&id->index_high, wide_id.FileId.Identifier + sizeof id->index_low,
                    sizeof id->index_high);
    } else {
        id->volume = info.dwVolumeSerialNumber;
        id->index_high = 0;
        id->index_low =
            (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    }
    // A file system without ids reports 0 (or -1): such a directory is not known.
    bool none = id->index_high == 0 && id->index_low == 0;
    bool invalid = id->index_high == ~std::uint64_t{0} && id->index_low == ~std::uint64_t{0};
    return !none && !invalid;
}
