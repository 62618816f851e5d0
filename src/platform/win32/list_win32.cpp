// Win32 SFV files written whole: a new file beside the list that the system deletes unless it
// is renamed over the list, complete, before the process ends.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cwchar>

#include "platform/platform.h"
#include "platform/win32/win32_paths.h"

using namespace plat_win32;

namespace {

// The list being written; there is one at a time.
struct ListWrite {
    std::FILE* stream; // nullptr when none
    bool in_place;     // written under its own name: the directory took no new file
    HANDLE old_list;   // the old list, held open while the new one is written; or null
    HANDLE temp;       // the new file beside it (the stream's handle), unless in_place
    wchar_t target[SYSTEM_PATH_SIZE];
};
ListWrite current;

// The rename request: its header, then the target path.
union RenameRequest {
    FILE_RENAME_INFO info;
    unsigned char room[sizeof(FILE_RENAME_INFO) + SYSTEM_PATH_SIZE * sizeof(wchar_t)];
};
RenameRequest rename_request;

bool set_delete(HANDLE file, bool doomed) {
    FILE_DISPOSITION_INFO disposition{static_cast<BOOLEAN>(doomed)};
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition,
                                      sizeof disposition) != 0;
}

// Replaces the last component of w->target by the name the directory gives the file, so
// that the rename keeps its letter case (and a short name reaches the long one).
void take_name_on_disk(ListWrite* w) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(w->target, &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    FindClose(search);
    wchar_t* name = std::wcsrchr(w->target, L'\\') + 1;
    const std::size_t room = SYSTEM_PATH_SIZE - static_cast<std::size_t>(name - w->target);
    if (std::wcslen(found.cFileName) < room)
        std::wcscpy(name, found.cFileName);
}

enum class Temp {
    Made,
    // The directory takes no new file of this kind (access denied, a path too long for the
    // temporary name, no delete disposition): the list may be written in place.
    Refused,
    Failed, // anything else, such as a full disk: the old list must stay as it is
};

// Creates the new file beside w->target, to be deleted when its handle closes.
Temp create_temp(const ListWrite* w, HANDLE* made) {
    wchar_t temp[SYSTEM_PATH_SIZE];
    const int dir_len = static_cast<int>(std::wcsrchr(w->target, L'\\') - w->target) + 1;
    // A file left by a process of the same id is passed over.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int len = std::swprintf(temp, SYSTEM_PATH_SIZE, L"%.*ls.velmora-%lu-%d.tmp", dir_len,
                                      w->target, GetCurrentProcessId(), attempt);
        if (len < 0)
            return Temp::Refused;
        // Delete sharing lets the system remove it however the process ends.
        HANDLE file = CreateFileW(temp, GENERIC_WRITE | DELETE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            if (set_delete(file, true)) {
                *made = file;
                return Temp::Made;
            }
            CloseHandle(file);
            DeleteFileW(temp);
            return Temp::Refused;
        }
        const DWORD why = GetLastError();
        if (why == ERROR_ACCESS_DENIED)
            return Temp::Refused;
        if (why != ERROR_FILE_EXISTS)
            return Temp::Failed;
    }
    return Temp::Failed;
}

void close_old_list(ListWrite* w) {
    if (w->old_list != nullptr)
        CloseHandle(w->old_list);
    w->old_list = nullptr;
}

// Puts the new file, complete, under the list's name. Without POSIX rename semantics a file
// with open handles cannot be replaced: the old list is let go first.
bool rename_temp(ListWrite* w) {
    close_old_list(w);
    const std::size_t len = std::wcslen(w->target);
    FILE_RENAME_INFO& info = rename_request.info;
    info.ReplaceIfExists = TRUE;
    info.RootDirectory = nullptr;
    info.FileNameLength = static_cast<DWORD>(len * sizeof(wchar_t));
    // The system takes an NT path here: "\??\" for the "\\?\" of a full path.
    std::wmemcpy(info.FileName, w->target, len + 1);
    info.FileName[1] = L'?';
    if (set_delete(w->temp, false) &&
        SetFileInformationByHandle(w->temp, FileRenameInfo, &rename_request,
                                   static_cast<DWORD>(sizeof info + len * sizeof(wchar_t))) != 0)
        return true;
    set_delete(w->temp, true);
    return false;
}

} // namespace

std::FILE* plat_list_open(const char* path) {
    ListWrite* w = &current;
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
        HANDLE old_list = CreateFileW(w->target, GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (old_list == INVALID_HANDLE_VALUE)
            return nullptr;
        w->old_list = old_list;
        if (GetFileType(old_list) != FILE_TYPE_DISK) {
            close_old_list(w);
            return nullptr;
        }
        take_name_on_disk(w);
    }
    w->temp = nullptr;
    const Temp temp = create_temp(w, &w->temp);
    // Never in place through a link, nor where a full disk could empty the old list and then
    // lose it with the failed new one.
    if (temp == Temp::Failed ||
        (temp == Temp::Refused && exists && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)) {
        close_old_list(w);
        return nullptr;
    }
    w->in_place = temp == Temp::Refused;
    if (w->in_place) {
        // A directory the user may not write to: the list itself, as it always was.
        close_old_list(w);
        w->stream = _wfopen(w->target, L"wb");
        if (w->stream != nullptr && GetFileType(reinterpret_cast<HANDLE>(
                                        _get_osfhandle(_fileno(w->stream)))) != FILE_TYPE_DISK) {
            std::fclose(w->stream);
            w->stream = nullptr;
        }
        if (w->stream != nullptr)
            hold(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(w->stream))), w);
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
        close_old_list(w);
    } else if (w->old_list != nullptr) {
        hold(w->old_list, w);
    }
    return w->stream;
}

bool plat_list_commit(std::FILE* stream) {
    ListWrite* w = &current;
    if (stream == nullptr || stream != w->stream)
        return false;
    w->stream = nullptr;
    release_hold(w);
    bool ok = std::fflush(stream) == 0;
    if (w->in_place) {
        ok = std::fclose(stream) == 0 && ok;
        if (!ok)
            DeleteFileW(w->target);
        return ok;
    }
    ok = ok && rename_temp(w);
    close_old_list(w);
    // Written out already: the close has nothing left to lose.
    std::fclose(stream);
    return ok;
}

void plat_list_abandon(std::FILE* stream) {
    ListWrite* w = &current;
    if (stream == nullptr || stream != w->stream)
        return;
    w->stream = nullptr;
    release_hold(w);
    close_old_list(w);
    std::fclose(stream);
    if (w->in_place)
        DeleteFileW(w->target);
}
