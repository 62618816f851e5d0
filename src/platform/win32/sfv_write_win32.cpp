// Win32 SFV files written whole: a new file beside the list that the system deletes unless it
// is renamed over the list, complete, before the process ends; made and renamed relative to a
// handle on the list's folder. A list that must be rewritten in place is gathered in memory and
// written with one write once complete.
#include <aclapi.h>
#include <windows.h>
#include <winternl.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>
#include <cwchar>

#include "platform/platform.h"
#include "platform/win32/win32_paths.h"

using namespace plat_win32;

namespace {

// The list being written; there is one at a time.
struct ListWrite {
    std::FILE* stream; // nullptr when none
    bool in_place;     // written under its own name: the directory took no new file
    HANDLE dir;        // the list's folder, while a new file is written there; or null
    HANDLE old_list;   // the old list, held open while the new one is written; or null
    HANDLE temp;       // the new file beside it (the stream's handle), unless in_place
    HANDLE list;       // in place: the list itself
    wchar_t target[SYSTEM_PATH_SIZE];
};
ListWrite list_in_progress;

// In place, the stream writes into a pipe whose other end a thread reads into text, which holds
// more than any list (16384 lines of at most 270 bytes), until the stream closes or text is
// full. The thread alone touches text and the fields after it until the main thread has waited
// for it to end.
struct Gathered {
    HANDLE pipe;   // the end the thread reads
    HANDLE thread; // null when none runs
    std::size_t size;
    bool overflow;
    char text[5u << 20];
};
Gathered gathered;

DWORD WINAPI gather(void*) {
    DWORD got = 0;
    while (gathered.size < sizeof gathered.text &&
           ReadFile(gathered.pipe, gathered.text + gathered.size,
                    static_cast<DWORD>(sizeof gathered.text - gathered.size), &got, nullptr))
        gathered.size += got;
    // A list too long fails its stream's next write, as the pipe has no reader left.
    gathered.overflow = gathered.size == sizeof gathered.text;
    CloseHandle(gathered.pipe);
    return 0;
}

// Opens a stream whose bytes the thread gathers.
std::FILE* open_gathering() {
    HANDLE write_end = nullptr;
    gathered.size = 0;
    if (!CreatePipe(&gathered.pipe, &write_end, nullptr, 0))
        return nullptr;
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(write_end), _O_BINARY | _O_WRONLY);
    std::FILE* stream = fd < 0 ? nullptr : _fdopen(fd, "wb");
    if (stream != nullptr)
        gathered.thread = CreateThread(nullptr, 0, gather, nullptr, 0, nullptr);
    if (gathered.thread != nullptr)
        return stream;
    if (stream != nullptr)
        std::fclose(stream);
    else if (fd >= 0)
        _close(fd);
    else
        CloseHandle(write_end);
    CloseHandle(gathered.pipe);
    return nullptr;
}

// Closes the stream, all it held written to the pipe, and waits for the thread to gather it.
bool end_gathering(std::FILE* stream) {
    const bool closed = std::fclose(stream) == 0;
    WaitForSingleObject(gathered.thread, INFINITE);
    CloseHandle(gathered.thread);
    gathered.thread = nullptr;
    return closed && !gathered.overflow;
}

// Signalled except while a list is written in place: a console event waits for that write to
// end, so that the process never ends with the list cut.
HANDLE write_ended;

BOOL WINAPI wait_for_write(DWORD) {
    WaitForSingleObject(write_ended, INFINITE);
    return FALSE; // the next handler, at last the default one, ends the process
}

// The rename request: its header, then the target name.
union RenameRequest {
    FILE_RENAME_INFORMATION info;
    unsigned char room[sizeof(FILE_RENAME_INFORMATION) + SYSTEM_PATH_SIZE * sizeof(wchar_t)];
};
RenameRequest rename_request;

bool set_delete(HANDLE file, bool doomed) {
    FILE_DISPOSITION_INFO disposition{static_cast<BOOLEAN>(doomed)};
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition,
                                      sizeof disposition) != 0;
}

wchar_t* name_part(ListWrite* w) {
    return std::wcsrchr(w->target, L'\\') + 1;
}

// Replaces the last component of w->target by the name the directory gives the file, so
// that the rename keeps its letter case (and a short name reaches the long one).
void take_name_on_disk(ListWrite* w) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(w->target, &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    FindClose(search);
    wchar_t* name = name_part(w);
    const std::size_t room = SYSTEM_PATH_SIZE - static_cast<std::size_t>(name - w->target);
    if (std::wcslen(found.cFileName) < room)
        std::wcscpy(name, found.cFileName);
}

enum class Temp {
    Made,
    // The directory takes no new file of this kind (access denied, no delete disposition):
    // the list may be written in place.
    Refused,
    Failed, // anything else, such as a full disk: the old list must stay as it is
};

// Opens the list's folder, then creates the new file in it, to be deleted when its handle
// closes.
Temp create_temp(ListWrite* w) {
    wchar_t* name = name_part(w);
    const wchar_t kept = *name;
    *name = L'\0';
    w->dir = CreateFileW(w->target, FILE_TRAVERSE | SYNCHRONIZE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    *name = kept;
    if (w->dir == INVALID_HANDLE_VALUE) {
        w->dir = nullptr;
        return GetLastError() == ERROR_ACCESS_DENIED ? Temp::Refused : Temp::Failed;
    }
    // A file left by a process of the same id is passed over.
    for (int attempt = 0; attempt < 100; ++attempt) {
        char narrow[48];
        const int len = std::snprintf(narrow, sizeof narrow, "%s%lu-%d%s", PLAT_LIST_TEMP_PREFIX,
                                      GetCurrentProcessId(), attempt, PLAT_LIST_TEMP_SUFFIX);
        wchar_t temp[48];
        for (int i = 0; i <= len; ++i)
            temp[i] = static_cast<unsigned char>(narrow[i]);
        UNICODE_STRING temp_name{static_cast<USHORT>(len * sizeof(wchar_t)),
                                 static_cast<USHORT>(sizeof temp), temp};
        OBJECT_ATTRIBUTES attributes;
        InitializeObjectAttributes(&attributes, &temp_name, OBJ_CASE_INSENSITIVE, w->dir, nullptr);
        IO_STATUS_BLOCK io;
        HANDLE file = nullptr;
        // Delete sharing lets the system remove it however the process ends.
        const NTSTATUS status = NtCreateFile(
            &file, GENERIC_WRITE | DELETE | WRITE_DAC | SYNCHRONIZE, &attributes, &io, nullptr,
            FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
            FILE_CREATE, FILE_NON_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
        if (NT_SUCCESS(status) && set_delete(file, true)) {
            w->temp = file;
            return Temp::Made;
        }
        if (NT_SUCCESS(status)) {
            // A file system without delete dispositions: the file is removed by its path.
            CloseHandle(file);
            wchar_t path[SYSTEM_PATH_SIZE];
            std::swprintf(path, SYSTEM_PATH_SIZE, L"%.*ls%ls",
                          static_cast<int>(name_part(w) - w->target), w->target, temp);
            DeleteFileW(path);
            return Temp::Refused;
        }
        const ULONG why = RtlNtStatusToDosError(status);
        if (why == ERROR_ACCESS_DENIED)
            return Temp::Refused;
        if (why != ERROR_ALREADY_EXISTS && why != ERROR_FILE_EXISTS)
            return Temp::Failed;
    }
    return Temp::Failed;
}

// The new list takes what the old one carried, as a replace of the old one would keep it: its
// access list (its own entries; those it inherits come from the folder again) and its
// attributes and creation time. Where the file system keeps none of these (FAT, some shares),
// the calls fail and the new list is as the folder makes it.
void keep_old_list_traits(HANDLE old_list, HANDLE temp) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (GetSecurityInfo(old_list, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                        &dacl, nullptr, &sd) == ERROR_SUCCESS &&
        dacl != nullptr) {
        // No access list at all would grant everyone everything: never copied.
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        const bool protect = GetSecurityDescriptorControl(sd, &control, &revision) &&
                             (control & SE_DACL_PROTECTED) != 0;
        SetSecurityInfo(temp, SE_FILE_OBJECT,
                        DACL_SECURITY_INFORMATION |
                            (protect ? PROTECTED_DACL_SECURITY_INFORMATION
                                     : UNPROTECTED_DACL_SECURITY_INFORMATION),
                        nullptr, nullptr, dacl, nullptr);
    }
    LocalFree(sd);
    FILE_BASIC_INFO basic;
    if (GetFileInformationByHandleEx(old_list, FileBasicInfo, &basic, sizeof basic)) {
        FILE_BASIC_INFO kept{};
        kept.CreationTime = basic.CreationTime;
        kept.FileAttributes =
            basic.FileAttributes & (FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
        if (kept.FileAttributes == 0)
            kept.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        SetFileInformationByHandle(temp, FileBasicInfo, &kept, sizeof kept);
    }
}

void close_handle(HANDLE* handle) {
    if (*handle != nullptr)
        CloseHandle(*handle);
    *handle = nullptr;
}

// Puts the new file, complete, under the list's name in its folder: a name relative to a handle
// on the folder, which the system takes only as it is given to the native call. Without POSIX
// rename semantics a file with open handles cannot be replaced: the old list is let go first.
bool rename_temp(ListWrite* w) {
    close_handle(&w->old_list);
    const wchar_t* name = name_part(w);
    const std::size_t len = std::wcslen(name);
    FILE_RENAME_INFORMATION& info = rename_request.info;
    info.ReplaceIfExists = TRUE;
    info.RootDirectory = w->dir;
    info.FileNameLength = static_cast<ULONG>(len * sizeof(wchar_t));
    std::wmemcpy(info.FileName, name, len + 1);
    IO_STATUS_BLOCK io;
    if (set_delete(w->temp, false) &&
        NT_SUCCESS(NtSetInformationFile(w->temp, &io, &rename_request,
                                        static_cast<ULONG>(sizeof info + len * sizeof(wchar_t)),
                                        FileRenameInformation)))
        return true;
    set_delete(w->temp, true);
    return false;
}

// Empties the list written in place.
void empty_list(HANDLE list) {
    const LARGE_INTEGER start{};
    if (SetFilePointerEx(list, start, nullptr, FILE_BEGIN))
        SetEndOfFile(list);
}

// Writes the list gathered in memory over the old one with one write, which a console event
// waits for; one that fails leaves the list empty.
bool write_in_place(ListWrite* w, std::FILE* stream, bool commit) {
    bool ok = end_gathering(stream) && commit;
    if (ok) {
        ResetEvent(write_ended);
        empty_list(w->list);
        DWORD written = 0;
        ok = WriteFile(w->list, gathered.text, static_cast<DWORD>(gathered.size), &written,
                       nullptr) &&
             written == gathered.size;
        if (!ok)
            empty_list(w->list);
        SetEvent(write_ended);
    }
    return CloseHandle(w->list) && ok;
}

// Opens the list itself and a stream that gathers it in memory.
std::FILE* open_in_place(ListWrite* w) {
    if (write_ended == nullptr) {
        write_ended = CreateEventW(nullptr, TRUE, TRUE, nullptr);
        if (write_ended == nullptr || !SetConsoleCtrlHandler(wait_for_write, TRUE))
            return nullptr;
    }
    w->list = CreateFileW(w->target, GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (w->list == INVALID_HANDLE_VALUE)
        return nullptr;
    std::FILE* stream = GetFileType(w->list) == FILE_TYPE_DISK ? open_gathering() : nullptr;
    if (stream == nullptr)
        CloseHandle(w->list);
    else
        hold(w->list, w);
    return stream;
}

} // namespace

std::FILE* plat_list_open(const char* path) {
    ListWrite* w = &list_in_progress;
    if (w->stream != nullptr || !typed_system_path(path, w->target) ||
        std::wcsncmp(w->target, L"\\\\?\\", 4) != 0)
        return nullptr;
    const DWORD attributes = GetFileAttributesW(w->target);
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    // Refused as the runtime's open for writing refuses it: a directory, a read-only file, and
    // a hidden or system file, which it would have to recreate with other attributes. A link
    // is replaced.
    if (exists && (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY |
                                 FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0)
        return nullptr;
    w->old_list = nullptr;
    if (exists && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        // Opened for writing, so that a list the user may not write is refused though its
        // directory would let a rename replace it, and so that the old list counts as open.
        HANDLE old_list = CreateFileW(w->target, GENERIC_WRITE | READ_CONTROL,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (old_list == INVALID_HANDLE_VALUE)
            return nullptr;
        w->old_list = old_list;
        if (GetFileType(old_list) != FILE_TYPE_DISK) {
            close_handle(&w->old_list);
            return nullptr;
        }
        take_name_on_disk(w);
    }
    w->temp = nullptr;
    const Temp temp = create_temp(w);
    // Never in place through a link, nor where a full disk could empty the old list and then
    // lose it with the failed new one.
    w->in_place = temp == Temp::Refused;
    if (temp == Temp::Failed ||
        (w->in_place && exists && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)) {
        close_handle(&w->old_list);
        close_handle(&w->dir);
        return nullptr;
    }
    if (w->in_place) {
        // A directory the user may not write to: the list itself, as it always was, though
        // only once it is complete.
        close_handle(&w->old_list);
        close_handle(&w->dir);
        w->stream = open_in_place(w);
        return w->stream;
    }
    // The stream owns the handle from here; closing it deletes the file.
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(w->temp), _O_BINARY | _O_WRONLY);
    w->stream = fd < 0 ? nullptr : _fdopen(fd, "wb");
    if (w->stream == nullptr) {
        if (fd < 0)
            CloseHandle(w->temp);
        else
            _close(fd);
        close_handle(&w->old_list);
        close_handle(&w->dir);
    } else if (w->old_list != nullptr) {
        keep_old_list_traits(w->old_list, w->temp);
        hold(w->old_list, w);
    }
    return w->stream;
}

namespace {

bool finish(std::FILE* stream, bool commit) {
    ListWrite* w = &list_in_progress;
    if (stream == nullptr || stream != w->stream)
        return false;
    w->stream = nullptr;
    release_hold(w);
    if (w->in_place)
        return write_in_place(w, stream, commit);
    const bool ok = commit && std::fflush(stream) == 0 && rename_temp(w);
    close_handle(&w->old_list);
    close_handle(&w->dir);
    // Written out already: the close has nothing left to lose.
    std::fclose(stream);
    return ok;
}

} // namespace

bool plat_list_commit(std::FILE* stream) {
    return finish(stream, true);
}

void plat_list_abandon(std::FILE* stream) {
    finish(stream, false);
}
