// POSIX paths and file search: program paths resolved without regard to letter case,
// wildcard searches in the order NTFS gives, and directory identity.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/text.h"
#include "platform/platform.h"
#include "platform/posix/posix_paths.h"
#include "platform/wildcard.h"

using plat_posix::OS_PATH_SIZE;
using plat_posix::resolve_path;

namespace {

// ---- Search ----

// An entry found: where its name starts in the search's name store, and its attributes.
struct SearchEntry {
    std::uint32_t name;
    std::uint32_t attributes;
};

// The order NTFS gives ASCII names: letters compared upper-cased, then byte by byte.
bool ntfs_before(const char* a, const char* b) {
    const unsigned char* x = reinterpret_cast<const unsigned char*>(a);
    const unsigned char* y = reinterpret_cast<const unsigned char*>(b);
    for (;; ++x, ++y) {
        unsigned char cx = ascii_upper(*x);
        unsigned char cy = ascii_upper(*y);
        if (cx != cy)
            return cx < cy;
        if (cx == '\0')
            break;
    }
    return std::strcmp(a, b) < 0;
}

void fill(const SearchEntry& e, const char* name, FindData* data) {
    data->attributes = e.attributes;
    data->name_id = 0;
    if ((e.attributes & FIND_ATTR_UNSUPPORTED) != 0) {
        // FNV-1a over the name's bytes.
        std::uint64_t h = 14695981039346656037u;
        for (const char* p = name; *p != '\0'; ++p)
            h = (h ^ static_cast<unsigned char>(*p)) * 1099511628211u;
        data->name_id = h;
    }
    str_copy(data->name, sizeof data->name, name);
}

// A backslash would read as a separator in the program's paths, and a control character
// would break an SFV line or the report.
bool name_supported(const char* name) {
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p != '\0'; ++p) {
        if (*p == '\\' || *p < 0x20)
            return false;
    }
    return true;
}

// Replaces in place the components of out by the names that stand for them in their
// directories (see find_case_variant), which have their lengths: with kept_only every
// component, from the kept listings alone; otherwise each missing as given, out itself being
// missing. Below a component with no such name, nothing can exist. True when a name changed.
bool replace_components(plat_posix::OsPath& out, bool kept_only) {
    plat_posix::OsPath dir;
    plat_posix::OsPath variant;
    struct stat st;
    bool replaced = false;
    for (std::size_t start = 0;;) {
        const std::size_t len = std::strcspn(out + start, "/");
        const char after = out[start + len];
        out[start + len] = '\0';
        // The last component is missing too while nothing before it was replaced.
        if (len != 0 && !plat_posix::is_dot_name(out + start) &&
            (kept_only || (after == '\0' && !replaced) || lstat(out, &st) != 0)) {
            std::memcpy(dir, out, start);
            dir[start] = '\0';
            if (!plat_posix::find_case_variant(dir, out + start, kept_only, variant,
                                               sizeof variant)) {
                out[start + len] = after;
                return replaced;
            }
            replaced = replaced || std::strcmp(out + start, variant) != 0;
            std::memcpy(out + start, variant, len);
        }
        out[start + len] = after;
        if (after == '\0')
            return replaced;
        start += len + 1;
    }
}

} // namespace

namespace plat_posix {

bool to_os_separators(const char* path, OsPath& out) {
    const std::size_t len = std::strlen(path);
    if (len >= sizeof out)
        return false;
    for (std::size_t i = 0; i <= len; ++i)
        out[i] = path[i] == '\\' ? '/' : path[i];
    return true;
}

bool resolve_path(const char* path, OsPath& out) {
    struct stat st;
    if (!to_os_separators(path, out))
        return false;
    if (out[0] != '\0' && lstat(out, &st) != 0)
        resolve_missing(out);
    return true;
}

bool resolve_missing(OsPath& out) {
    return replace_components(out, false);
}

void resolve_kept(OsPath& out) {
    replace_components(out, true);
}

} // namespace plat_posix

// The whole listing is read and sorted at the start: the names one after the other, each
// with its NUL, and the entries in NTFS order.
struct FindSearch {
    std::vector<char> names;
    std::vector<SearchEntry> entries;
    std::size_t next;
};

std::size_t plat_directory_length(const char* path) {
    const char* last = nullptr;
    for (const char* p = path; *p != '\0'; ++p) {
        if (is_path_separator(*p))
            last = p;
    }
    return last == nullptr ? 0 : static_cast<std::size_t>(last - path) + 1;
}

FindSearch* plat_find_first(const char* pattern_path, FindData* data) {
    std::size_t dir_len = plat_directory_length(pattern_path);
    const char* pattern = pattern_path + dir_len;
    if (pattern[0] == '\0')
        return nullptr;
    char dir[OS_PATH_SIZE];
    char os_dir[OS_PATH_SIZE];
    if (dir_len >= sizeof dir)
        return nullptr;
    std::memcpy(dir, pattern_path, dir_len);
    dir[dir_len] = '\0';
    if (dir_len == 0)
        str_copy(dir, sizeof dir, ".");
    if (!resolve_path(dir, os_dir))
        return nullptr;
    DIR* d = opendir(os_dir);
    if (d == nullptr)
        return nullptr;
    FindSearch* search = new FindSearch{{}, {}, 0};
    int dir_fd = dirfd(d);
    while (struct dirent* e = readdir(d)) {
        // The directory itself and its parent are never listed, so that no single fault of
        // the walk can lead it up and out of the tree.
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0)
            continue;
        const std::size_t len = std::strlen(e->d_name);
        if (len >= MAX_PATH || !wildcard_match(pattern, e->d_name))
            continue;
        bool is_dir = e->d_type == DT_DIR;
        if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
            struct stat st;
            is_dir = fstatat(dir_fd, e->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
        }
        std::uint32_t attributes = is_dir ? FIND_ATTR_DIRECTORY : 0u;
        if (!name_supported(e->d_name))
            attributes |= FIND_ATTR_UNSUPPORTED;
        search->entries.push_back({static_cast<std::uint32_t>(search->names.size()), attributes});
        search->names.insert(search->names.end(), e->d_name, e->d_name + len + 1);
    }
    closedir(d);
    if (search->entries.empty()) {
        delete search;
        return nullptr;
    }
    const char* names = search->names.data();
    std::sort(search->entries.begin(), search->entries.end(),
              [names](const SearchEntry& a, const SearchEntry& b) {
                  return ntfs_before(names + a.name, names + b.name);
              });
    plat_find_next(search, data);
    return search;
}

bool plat_find_next(FindSearch* search, FindData* data) {
    if (search == nullptr || search->next >= search->entries.size())
        return false;
    const SearchEntry& e = search->entries[search->next++];
    fill(e, search->names.data() + e.name, data);
    return true;
}

void plat_find_close(FindSearch* search) {
    delete search;
}

bool plat_dir_identity(const char* path, DirIdentity* id) {
    char os_path[OS_PATH_SIZE];
    struct stat st;
    if (!resolve_path(path, os_path) || stat(os_path, &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    id->volume = static_cast<std::uint64_t>(st.st_dev);
    id->index_high = 0;
    id->index_low = static_cast<std::uint64_t>(st.st_ino);
    return id->index_low != 0;
}
