// POSIX paths and file search: program paths resolved without regard to letter case,
// searches in the order NTFS gives, both from the kept listings, and directory identity.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <vector>

#include "common/text.h"
#include "platform/code_page.h"
#include "platform/platform.h"
#include "platform/posix/posix_paths.h"

using plat_posix::list_matches;
using plat_posix::OS_PATH_SIZE;
using plat_posix::resolve_path;
using plat_posix::to_os_separators;

namespace {

// The attributes of an entry of dir (a system path ending in "/"), its links followed.
std::uint32_t attributes_of(const char* dir, const char* name, unsigned char type) {
    bool is_dir = type == DT_DIR;
    if (type == DT_LNK || type == DT_UNKNOWN) {
        plat_posix::OsPath path;
        struct stat st;
        is_dir =
            str_join(path, sizeof path, dir, name) && stat(path, &st) == 0 && S_ISDIR(st.st_mode);
    }
    return is_dir ? FIND_ATTR_DIRECTORY : type == DT_REG ? FIND_ATTR_PLAIN : 0u;
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

void fill(const char* dir, const char* name, unsigned char type, FindData* data) {
    data->attributes = attributes_of(dir, name, type);
    data->name_id = 0;
    // Too long for the program's names: shown cut.
    const bool fits = std::strlen(name) < sizeof data->name;
    if (!fits || !name_supported(name)) {
        data->attributes |= FIND_ATTR_UNSUPPORTED;
        // FNV-1a over the name's bytes.
        std::uint64_t h = 14695981039346656037u;
        for (const char* p = name; *p != '\0'; ++p)
            h = (h ^ static_cast<unsigned char>(*p)) * 1099511628211u;
        data->name_id = h;
    }
    std::strncpy(data->name, name, sizeof data->name - 1);
    data->name[sizeof data->name - 1] = '\0';
}

// Replaces in place the components of out by the names that stand for them in their
// directories (see find_case_variant), which have their lengths: with kept_only every
// component, from the kept listings alone; otherwise each missing as given. Below a component
// with no such name, nothing can exist. Returns 0; or when a directory could not be read for
// want of descriptors or memory, why (EMFILE, ENFILE, ENOMEM): then nothing is known.
int replace_components(plat_posix::OsPath& out, bool kept_only,
                       unsigned char* last_type = nullptr) {
    plat_posix::OsPath dir;
    plat_posix::OsPath variant;
    struct stat st;
    for (std::size_t start = 0;;) {
        const std::size_t len = std::strcspn(out + start, "/");
        const char after = out[start + len];
        out[start + len] = '\0';
        if (len != 0 && !plat_posix::is_dot_name(out + start) &&
            (kept_only || lstat(out, &st) != 0)) {
            std::memcpy(dir, out, start);
            dir[start] = '\0';
            unsigned char type = DT_UNKNOWN;
            const int found = plat_posix::find_case_variant(dir, out + start, kept_only, variant,
                                                            sizeof variant, &type);
            if (found != 0) {
                out[start + len] = after;
                return kept_only || found == ENOENT ? 0 : found;
            }
            std::memcpy(out + start, variant, len);
            if (last_type != nullptr)
                *last_type = after == '\0' ? type : static_cast<unsigned char>(DT_UNKNOWN);
        }
        out[start + len] = after;
        if (after == '\0')
            return 0;
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

int resolve_path(const char* path, OsPath& out) {
    struct stat st;
    if (!to_os_separators(path, out))
        return ENAMETOOLONG;
    return out[0] == '\0' || lstat(out, &st) == 0 ? 0 : replace_components(out, false);
}

unsigned char resolve_kept(OsPath& out) {
    unsigned char type = DT_UNKNOWN;
    replace_components(out, true, &type);
    return type;
}

} // namespace plat_posix

// The matching entries are taken from the directory's listing at the start, in NTFS order.
struct FindSearch {
    plat_posix::OsPath dir;
    std::vector<char> names;
    std::vector<plat_posix::ListedName> entries;
    std::size_t next;
};

bool plat_is_lead_byte(unsigned char /*c*/) {
    return false;
}

std::size_t plat_directory_length(const char* path) {
    const char* last = nullptr;
    for (const char* p = path; *p != '\0'; ++p) {
        if (is_path_separator(*p))
            last = p;
    }
    return last == nullptr ? 0 : static_cast<std::size_t>(last - path) + 1;
}

bool plat_file_exists(const char* path, NameCode /*code*/) {
    plat_posix::OsPath os_path;
    struct stat st;
    return resolve_path(path, os_path) == 0 && stat(os_path, &st) == 0 && !S_ISDIR(st.st_mode);
}

bool plat_same_file(const char* a, const char* b) {
    plat_posix::OsPath paths[2];
    struct stat st[2];
    if (resolve_path(a, paths[0]) != 0 || resolve_path(b, paths[1]) != 0)
        return false;
    const bool there[2] = {stat(paths[0], &st[0]) == 0, stat(paths[1], &st[1]) == 0};
    if (there[0] || there[1])
        return there[0] && there[1] && st[0].st_dev == st[1].st_dev && st[0].st_ino == st[1].st_ino;
    // Neither is there yet: the same name in the same directory.
    const char* names[2];
    for (int i = 0; i < 2; ++i) {
        char* slash = std::strrchr(paths[i], '/');
        names[i] = slash != nullptr ? slash + 1 : paths[i];
        if (slash != nullptr)
            slash[slash == paths[i] ? 1 : 0] = '\0';
        if (stat(slash != nullptr ? paths[i] : ".", &st[i]) != 0)
            return false;
    }
    return st[0].st_dev == st[1].st_dev && st[0].st_ino == st[1].st_ino &&
           same_name_any_case(names[0], names[1]);
}

bool plat_exists_as_typed(const char* path) {
    plat_posix::OsPath os_path;
    struct stat st;
    return to_os_separators(path, os_path) && lstat(os_path, &st) == 0;
}

// The entries of dir matching pattern, into search: Entry when some are, End when none is or
// the directory cannot be opened, Failed when it failed while read.
static FindStep gather(const char* dir, const char* pattern, FindSearch* search) {
    // A directory listed before is found under its path with no system call.
    bool incomplete = false;
    if (to_os_separators(dir, search->dir) &&
        list_matches(search->dir, pattern, true, &search->names, &search->entries, &incomplete))
        return FindStep::Entry;
    if (resolve_path(dir, search->dir) == 0 &&
        list_matches(search->dir, pattern, false, &search->names, &search->entries, &incomplete))
        return FindStep::Entry;
    return incomplete ? FindStep::Failed : FindStep::End;
}

FindStep plat_find_first(const char* pattern_path, FindSearch** search, FindData* data) {
    *search = nullptr;
    const std::size_t dir_len = plat_directory_length(pattern_path);
    const char* pattern = pattern_path + dir_len;
    char dir[OS_PATH_SIZE];
    if (dir_len >= sizeof dir)
        return FindStep::End;
    std::memcpy(dir, pattern_path, dir_len);
    dir[dir_len] = '\0';
    if (dir_len == 0)
        str_copy(dir, sizeof dir, "./");
    // The listings are where memory grows with the input: running out of it is a directory
    // not read whole, never an exception out of the platform.
    FindSearch* found = nullptr;
    FindStep step = FindStep::Failed;
    try {
        found = new FindSearch{};
        step = gather(dir, pattern, found);
    } catch (const std::bad_alloc&) {
        step = FindStep::Failed;
    }
    if (step == FindStep::Entry)
        step = plat_find_next(found, data);
    if (step != FindStep::Entry) {
        delete found;
        return step;
    }
    *search = found;
    return step;
}

FindStep plat_find_next(FindSearch* search, FindData* data) {
    // The listing was read whole at the start.
    if (search->next == search->entries.size())
        return FindStep::End;
    const plat_posix::ListedName& e = search->entries[search->next++];
    fill(search->dir, search->names.data() + e.name, e.type, data);
    return FindStep::Entry;
}

void plat_find_close(FindSearch* search) {
    delete search;
}

bool plat_dir_readable(const char* dir) {
    char os_path[OS_PATH_SIZE];
    if (resolve_path(dir[0] != '\0' ? dir : ".", os_path) != 0)
        return false;
    const int fd = open(os_path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    close(fd);
    return true;
}

bool plat_dir_identity(const char* path, DirIdentity* id) {
    char os_path[OS_PATH_SIZE];
    struct stat st;
    if (resolve_path(path, os_path) != 0 || stat(os_path, &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    id->volume = static_cast<std::uint64_t>(st.st_dev);
    id->index_high = 0;
    id->index_low = static_cast<std::uint64_t>(st.st_ino);
    return id->index_low != 0;
}

// ---- Names in UTF-8, which names here are in already ----

bool plat_utf8_from_native(const char* text, char* out, std::size_t size) {
    return str_copy(out, size, text);
}

void plat_native_from_utf8(const char* text, char* out, std::size_t size) {
    std::size_t used = 0;
    for (std::size_t len = 0; text[used] != '\0'; used += len) {
        utf8_next(text + used, &len);
        if (used + len >= size)
            break;
    }
    std::memcpy(out, text, used);
    out[used] = '\0';
}

bool plat_list_name_other(const char* name, char* out, std::size_t size) {
    // Windows-1252's characters at 0x80-0x9F; the five it leaves out stand for themselves.
    static constexpr char16_t CP1252_HIGH[32] = {
        0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x8D,   0x017D, 0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
    bool valid = true;
    for (const char* p = name; *p != '\0' && valid;) {
        std::size_t len = 0;
        valid = utf8_next(p, &len) != UTF8_INVALID;
        p += len;
    }
    if (valid)
        return false;
    std::size_t used = 0;
    for (const auto* p = reinterpret_cast<const unsigned char*>(name); *p != '\0'; ++p) {
        const std::uint32_t c = *p >= 0x80 && *p < 0xA0 ? CP1252_HIGH[*p - 0x80] : *p;
        const std::size_t len = c < 0x80 ? 1 : c < 0x800 ? 2 : 3;
        if (used + len >= size)
            return false;
        if (len == 1)
            out[used] = static_cast<char>(c);
        else if (len == 2)
            out[used] = static_cast<char>(0xC0 | c >> 6);
        else
            out[used] = static_cast<char>(0xE0 | c >> 12);
        for (std::size_t i = 1; i < len; ++i)
            out[used + i] = static_cast<char>(0x80 | ((c >> (6 * (len - 1 - i))) & 0x3F));
        used += len;
    }
    out[used] = '\0';
    return true;
}
