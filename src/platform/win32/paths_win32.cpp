// Win32 paths and file search: the wide search with names converted exactly into the code
// page, full "\\?\" paths, and directory identity.
#include <windows.h>

#include <cstring>
#include <cwchar>
#include <new>

#include "common/text.h"
#include "platform/code_page.h"
#include "platform/platform.h"
#include "platform/win32/win32_paths.h"

using namespace plat_win32;

namespace {

bool is_drive_letter(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Program paths given to the layer are far shorter.
constexpr int INPUT_PATH_SIZE = 1024;
// Room for the longest prefix, "\\?\UNC\".
constexpr DWORD PREFIX_ROOM = 8;

bool is_separator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// ---- Search results ----

// A character that the program's paths, an SFV line or the report cannot hold. The second
// byte of a double-byte character is stepped over, whatever it looks like.
bool unsupported_byte(unsigned char c) {
    return c < 0x20 || std::strchr("\\/:*?\"<>|", c) != nullptr;
}

// The UTF-8 form of a name into out (MAX_PATH bytes), when it fits and holds no byte the
// program's paths cannot.
bool utf8_name(const wchar_t* name, char* out) {
    char utf8[MAX_PATH];
    if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, name, -1, utf8, MAX_PATH, nullptr,
                            nullptr) <= 0)
        return false;
    for (const char* p = utf8; *p != '\0'; ++p) {
        if (unsupported_byte(static_cast<unsigned char>(*p)))
            return false;
    }
    std::memcpy(out, utf8, std::strlen(utf8) + 1);
    return true;
}

// Fills data from a wide search result. A name that does not convert exactly into the code
// page, or that converts into a byte the program cannot hold, is marked unsupported: it is
// shown with "?" for what has no equivalent, and told apart from other such names by a hash of
// its UTF-16 form; one longer than the program's names (double-byte code pages, UTF-8) is
// marked so too, and shown cut. False when the system cannot convert the name at all.
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
    if (n <= 0 && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        exact = false;
        // Cut by whole characters until it fits beside its NUL.
        int units = static_cast<int>(std::wcslen(found.cFileName));
        while (n <= 0 && units > 1) {
            units -= IS_LOW_SURROGATE(found.cFileName[units - 1]) && units > 2 ? 2 : 1;
            n = WideCharToMultiByte(CP_ACP, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, found.cFileName, units,
                                    data->name, size - 1, nullptr, nullptr);
        }
        if (n > 0)
            data->name[n++] = '\0';
    }
    if (n <= 0)
        return false;
    for (const char* p = data->name; *p != '\0' && exact; p += char_bytes(p))
        exact = !unsupported_byte(static_cast<unsigned char>(*p));
    // A directory is entered through Win32 path rules, which would strip these.
    std::size_t len = std::strlen(data->name);
    const bool directory = (data->attributes & FIND_ATTR_DIRECTORY) != 0;
    if (directory && std::strcmp(data->name, ".") != 0 && std::strcmp(data->name, "..") != 0 &&
        (data->name[len - 1] == '.' || data->name[len - 1] == ' '))
        exact = false;
    // A file the code page cannot name is listed in UTF-8, when that holds it as it is.
    if (!exact && used_default && !directory && utf8_name(found.cFileName, data->name)) {
        data->attributes |= FIND_ATTR_UTF8;
        return true;
    }
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

namespace plat_win32 {

bool widen(const char* text, std::size_t len, wchar_t* out, DWORD size, DWORD* used,
           NameCode code) {
    *used = 0;
    out[0] = L'\0';
    if (len == 0)
        return true;
    if (len >= size)
        return false;
    int n = MultiByteToWideChar(code == NameCode::Utf8 ? CP_UTF8 : CP_ACP, 0, text,
                                static_cast<int>(len), out, static_cast<int>(size - 1));
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

// The directory part of a UTF-8 path, whose bytes beyond ASCII are never a separator's.
static std::size_t utf8_directory_length(const char* path) {
    std::size_t length =
        is_drive_letter(static_cast<unsigned char>(path[0])) && path[1] == ':' ? 2 : 0;
    for (const char* p = path; *p != '\0'; ++p) {
        if (is_path_separator(*p))
            length = static_cast<std::size_t>(p - path) + 1;
    }
    return length;
}

bool exact_system_path(const char* path, wchar_t* out, NameCode code) {
    std::size_t dir_len =
        code == NameCode::Utf8 ? utf8_directory_length(path) : plat_directory_length(path);
    wchar_t input[INPUT_PATH_SIZE];
    DWORD used = 0;
    if (!widen(dir_len == 0 ? "." : path, dir_len == 0 ? 1 : dir_len, input, INPUT_PATH_SIZE, &used,
               code) ||
        !full_system_path(input, true, out, &used))
        return false;
    DWORD name_len = 0;
    return widen(path + dir_len, std::strlen(path + dir_len), out + used, SYSTEM_PATH_SIZE - used,
                 &name_len, code);
}

bool typed_system_path(const char* path, wchar_t* out) {
    wchar_t input[INPUT_PATH_SIZE];
    DWORD used = 0;
    return path[0] != '\0' && widen(path, std::strlen(path), input, INPUT_PATH_SIZE, &used) &&
           full_system_path(input, false, out, &used);
}

bool names_file_system_path(const wchar_t* system_path) {
    if (std::wcsncmp(system_path, L"\\\\?\\", 4) != 0)
        return false;
    const wchar_t* p = system_path + 4;
    if (p[0] < 0x80 && is_drive_letter(static_cast<unsigned char>(p[0])) && p[1] == L':' &&
        p[2] == L'\\')
        return p[3] != L'\0';
    if (_wcsnicmp(p, L"UNC\\", 4) == 0) {
        // A server's named pipes and mailslots look like shares.
        const wchar_t* share = std::wcschr(p + 4, L'\\');
        return p[4] != L'\0' && share != nullptr && _wcsnicmp(share, L"\\pipe\\", 6) != 0 &&
               _wcsnicmp(share, L"\\mailslot\\", 10) != 0;
    }
    // A volume without a drive letter: its files lie behind "}\".
    const wchar_t* close = std::wcschr(p, L'}');
    return _wcsnicmp(p, L"Volume{", 7) == 0 && close != nullptr && close[1] == L'\\' &&
           close[2] != L'\0';
}

bool is_directory(const wchar_t* system_path) {
    DWORD attributes = GetFileAttributesW(system_path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

} // namespace plat_win32

struct FindSearch {
    HANDLE handle;
    WildChars pattern;
};

std::size_t plat_directory_length(const char* path) {
    std::size_t length = 0;
    if (is_drive_letter(static_cast<unsigned char>(path[0])) && path[1] == ':')
        length = 2;
    for (const char* p = path; *p != '\0'; p += char_bytes(p)) {
        if (is_path_separator(*p))
            length = static_cast<std::size_t>(p - path) + 1;
    }
    return length;
}

bool plat_file_exists(const char* path, NameCode code) {
    wchar_t system_path[SYSTEM_PATH_SIZE];
    if (!exact_system_path(path, system_path, code))
        return false;
    const DWORD attributes = GetFileAttributesW(system_path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The volume and index of the file at system_path; false when it cannot be opened.
static bool file_index(const wchar_t* system_path, BY_HANDLE_FILE_INFORMATION* info) {
    HANDLE handle =
        CreateFileW(system_path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const bool ok = GetFileInformationByHandle(handle, info) != 0;
    CloseHandle(handle);
    return ok;
}

bool plat_same_file(const char* a, const char* b) {
    wchar_t paths[2][SYSTEM_PATH_SIZE];
    if (!typed_system_path(a, paths[0]) || !typed_system_path(b, paths[1]))
        return false;
    if (CompareStringOrdinal(paths[0], -1, paths[1], -1, TRUE) == CSTR_EQUAL)
        return true;
    // Two names of one file: hard links.
    BY_HANDLE_FILE_INFORMATION info[2];
    return file_index(paths[0], &info[0]) && file_index(paths[1], &info[1]) &&
           info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
           info[0].nFileIndexHigh == info[1].nFileIndexHigh &&
           info[0].nFileIndexLow == info[1].nFileIndexLow;
}

bool plat_exists_as_typed(const char* /*path*/) {
    return false;
}

// The next matching entry of an open search, into data.
static FindStep next_match(HANDLE handle, const WildChars* chars, FindData* data) {
    WIN32_FIND_DATAW found;
    do {
        // A share dropped midway, say: what was listed is not the whole directory.
        if (!FindNextFileW(handle, &found))
            return GetLastError() == ERROR_NO_MORE_FILES ? FindStep::End : FindStep::Failed;
    } while (!long_name_matches(chars, found.cFileName) || !fill(found, data));
    return FindStep::Entry;
}

FindStep plat_find_first(const char* pattern_path, FindSearch** search, FindData* data) {
    *search = nullptr;
    // A path that ends in its directory holds no name pattern: it lists nothing, as the
    // other platforms do, whatever the file system would make of it.
    const char* pattern = pattern_path + plat_directory_length(pattern_path);
    if (pattern[0] == '\0')
        return FindStep::End;
    // The "\\?\" form also keeps a device name as pattern from matching the device.
    wchar_t path[SYSTEM_PATH_SIZE];
    WildChars chars;
    if (!exact_system_path(pattern_path, path) || !wide_pattern(pattern, &chars))
        return FindStep::End;
    WIN32_FIND_DATAW found;
    HANDLE handle = FindFirstFileW(path, &found);
    if (handle == INVALID_HANDLE_VALUE)
        return FindStep::End;
    FindStep step = FindStep::Entry;
    if (!long_name_matches(&chars, found.cFileName) || !fill(found, data))
        step = next_match(handle, &chars, data);
    if (step == FindStep::Entry) {
        *search = new (std::nothrow) FindSearch{handle, chars};
        if (*search == nullptr)
            step = FindStep::Failed;
    }
    if (step != FindStep::Entry)
        FindClose(handle);
    return step;
}

FindStep plat_find_next(FindSearch* search, FindData* data) {
    return next_match(search->handle, &search->pattern, data);
}

void plat_find_close(FindSearch* search) {
    if (search == nullptr)
        return;
    FindClose(search->handle);
    delete search;
}

// The directory at path opened with the access given, links followed; INVALID_HANDLE_VALUE when
// it cannot be.
static HANDLE open_directory(const char* path, DWORD access) {
    wchar_t system_path[SYSTEM_PATH_SIZE];
    if (!exact_system_path(path, system_path))
        return INVALID_HANDLE_VALUE;
    // A directory opens without its trailing backslash, except a drive's root ("\\?\d:\").
    std::size_t len = std::wcslen(system_path);
    if (len > 1 && is_separator(system_path[len - 1]) && system_path[len - 2] != L':')
        system_path[len - 1] = L'\0';
    // Backup semantics let CreateFileW open a directory.
    return CreateFileW(system_path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool plat_dir_readable(const char* dir) {
    HANDLE handle = open_directory(dir[0] != '\0' ? dir : ".\\", FILE_LIST_DIRECTORY);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info;
    const bool is_dir = GetFileInformationByHandle(handle, &info) != 0 &&
                        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    CloseHandle(handle);
    return is_dir;
}

bool plat_dir_identity(const char* path, DirIdentity* id) {
    HANDLE handle = open_directory(path, 0);
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
