// Win32 body of the platform interface: the real file search, exclusive open and file
// mapping calls, and the C runtime's text-mode streams.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstring>
#include <new>

#include "common/text.h"
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

void fill(const WIN32_FIND_DATAA& found, FindData* data) {
    data->attributes = static_cast<std::uint32_t>(found.dwFileAttributes);
    data->name_id = 0;
    // cFileName has MAX_PATH bytes, the same as name, so the copy always fits.
    str_copy(data->name, sizeof data->name, found.cFileName);
}

bool is_drive_letter(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool is_directory(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

} // namespace

struct FindSearch {
    HANDLE handle;
};

void plat_init() {}

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
    WIN32_FIND_DATAA found;
    HANDLE handle = FindFirstFileA(pattern_path, &found);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    FindSearch* search = new (std::nothrow) FindSearch{handle};
    if (search == nullptr) {
        FindClose(handle);
        return nullptr;
    }
    fill(found, data);
    return search;
}

bool plat_find_next(FindSearch* search, FindData* data) {
    if (search == nullptr)
        return false;
    WIN32_FIND_DATAA found;
    if (!FindNextFileA(search->handle, &found))
        return false;
    fill(found, data);
    return true;
}

void plat_find_close(FindSearch* search) {
    if (search == nullptr)
        return;
    FindClose(search->handle);
    delete search;
}

bool plat_open_exclusive(const char* path, PlatHandle* file) {
    // Share mode 0: fails while any other handle (a stream of this process included) has the
    // file open. Without FILE_FLAG_BACKUP_SEMANTICS a directory cannot be opened.
    HANDLE handle =
        CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    // Device names (nul, con, com1, also with an extension) open devices, not files.
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
    // Size 0,0 maps the file as it is now; Windows itself refuses an empty file.
    if (file == 0 || size == 0)
        return false;
    HANDLE handle = CreateFileMappingA(as_handle(file), nullptr, PAGE_READONLY, 0, 0, nullptr);
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
    // Windows refuses to truncate a file while a view of it is mapped, so the view stays
    // readable to its end.
    *state = reader(*state, view, static_cast<std::size_t>(size));
    return true;
}

std::FILE* plat_fopen(const char* path, const char* mode) {
    // The runtime opens with read and write sharing, so plat_open_exclusive fails on the
    // file by itself while the stream is open.
    if (path[0] == '\0' || is_directory(path))
        return nullptr;
    std::FILE* stream = std::fopen(path, mode);
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
    return DeleteFileA(path) != 0;
}

bool plat_redirect_stdout(const char* name) {
    // Opened first, so a failure leaves standard output as it was; text mode keeps CR LF.
    int fd = _open(name, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_TEXT, _S_IREAD | _S_IWRITE);
    if (fd < 0)
        return false;
    std::fflush(stdout);
    bool moved = _dup2(fd, 1) == 0;
    _close(fd);
    return moved;
}

bool plat_dir_identity(const char* path, DirIdentity* id) {
    // Backup semantics let CreateFileA open a directory; links are followed to their target.
    HANDLE handle = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info;
    bool ok = GetFileInformationByHandle(handle, &info) != 0 &&
              (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    CloseHandle(handle);
    if (!ok)
        return false;
    id->volume = info.dwVolumeSerialNumber;
    id->index_high = 0;
    id->index_low = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}
