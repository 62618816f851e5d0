// POSIX body of the platform interface. The program's paths use "\" as separator and arrive
// lower-cased, so every path is turned into "/" form and resolved without regard to ASCII
// letter case before it reaches the system.
#include <dirent.h>
#include <fcntl.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "common/text.h"
#include "platform/platform.h"
#include "platform/wildcard.h"

namespace {

// Longest path the layer hands to the system; program paths are far shorter.
constexpr std::size_t OS_PATH_SIZE = 4096;

bool same_ignoring_case(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (ascii_upper(static_cast<unsigned char>(*a)) !=
            ascii_upper(static_cast<unsigned char>(*b)))
            return false;
    }
    return *a == *b;
}

// Finds the entry of dir whose name equals name ignoring ASCII case; among several, the
// first in byte order. Writes it to out (out_size bytes). False when there is none.
bool find_case_variant(const char* dir, const char* name, char* out, std::size_t out_size) {
    DIR* d = opendir(dir[0] != '\0' ? dir : ".");
    if (d == nullptr)
        return false;
    bool found = false;
    while (struct dirent* e = readdir(d)) {
        if (!same_ignoring_case(e->d_name, name))
            continue;
        if (!found || std::strcmp(e->d_name, out) < 0)
            found = str_copy(out, out_size, e->d_name);
    }
    closedir(d);
    return found;
}

// Copies path with every backslash turned into "/". False when it does not fit.
bool to_os_separators(const char* path, char* out, std::size_t out_size) {
    std::size_t len = std::strlen(path);
    if (len >= out_size)
        return false;
    for (std::size_t i = 0; i <= len; ++i)
        out[i] = path[i] == '\\' ? '/' : path[i];
    return true;
}

// Turns a program path into the system path of an existing file or, when a component is
// missing, of the name to create. False when the result does not fit.
bool resolve_path(const char* path, char* out, std::size_t out_size) {
    if (!to_os_separators(path, out, out_size))
        return false;
    std::size_t len = std::strlen(out);
    struct stat st;
    if (len == 0 || lstat(out, &st) == 0)
        return true;

    // Walk the components; keep exact names, replace missing ones by a case variant.
    char walked[OS_PATH_SIZE];
    char given[OS_PATH_SIZE];
    std::memcpy(given, out, len + 1);
    std::size_t used = 0;
    std::size_t pos = 0;
    if (given[0] == '/') {
        walked[used++] = '/';
        pos = 1;
    }
    walked[used] = '\0';
    bool exists = true;
    while (pos < len) {
        std::size_t end = pos;
        while (end < len && given[end] != '/')
            ++end;
        char component[OS_PATH_SIZE];
        std::memcpy(component, given + pos, end - pos);
        component[end - pos] = '\0';
        if (exists && component[0] != '\0') {
            std::memcpy(walked + used, component, end - pos + 1);
            if (lstat(walked, &st) != 0) {
                walked[used] = '\0';
                char variant[OS_PATH_SIZE];
                if (find_case_variant(walked, component, variant, sizeof variant))
                    str_copy(component, sizeof component, variant);
                else
                    exists = false;
            }
        }
        std::size_t clen = std::strlen(component);
        if (used + clen + 1 >= sizeof walked)
            return false;
        std::memcpy(walked + used, component, clen);
        used += clen;
        if (end < len)
            walked[used++] = '/';
        walked[used] = '\0';
        pos = end + 1;
    }
    return str_copy(out, out_size, walked);
}

// ---- Files this process holds open through its streams ----

struct HeldFile {
    dev_t dev;
    ino_t ino;
    std::FILE* stream; // nullptr for the redirected standard output
    bool used;
};

constexpr int MAX_HELD_FILES = 16;
HeldFile held_files[MAX_HELD_FILES];

void hold(const struct stat& st, std::FILE* stream) {
    for (HeldFile& h : held_files) {
        if (!h.used) {
            h = HeldFile{st.st_dev, st.st_ino, stream, true};
            return;
        }
    }
}

void release_hold(std::FILE* stream) {
    for (HeldFile& h : held_files) {
        if (h.used && h.stream == stream)
            h.used = false;
    }
}

bool is_held(const struct stat& st) {
    for (const HeldFile& h : held_files) {
        if (h.used && h.dev == st.st_dev && h.ino == st.st_ino)
            return true;
    }
    return false;
}

// ---- Guard against a file shrinking under its mapping ----

sigjmp_buf view_fault_jump;
volatile sig_atomic_t view_guard_active = 0;

void on_view_fault(int sig) {
    if (view_guard_active) {
        view_guard_active = 0;
        siglongjmp(view_fault_jump, 1);
    }
    signal(sig, SIG_DFL);
    raise(sig);
}

void install_view_fault_handler() {
    static bool installed = false;
    if (installed)
        return;
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_view_fault;
    // Not blocked inside the handler, so the jump out needs no saved signal mask.
    sa.sa_flags = SA_NODEFER;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGBUS, &sa, nullptr);
    installed = true;
}

// ---- Search ----

struct SearchEntry {
    std::string name;
    std::uint32_t attributes;
};

// The order NTFS gives ASCII names: letters compared upper-cased, then byte by byte.
bool ntfs_before(const SearchEntry& a, const SearchEntry& b) {
    const unsigned char* x = reinterpret_cast<const unsigned char*>(a.name.c_str());
    const unsigned char* y = reinterpret_cast<const unsigned char*>(b.name.c_str());
    for (;; ++x, ++y) {
        unsigned char cx = ascii_upper(*x);
        unsigned char cy = ascii_upper(*y);
        if (cx != cy)
            return cx < cy;
        if (cx == '\0')
            break;
    }
    return a.name < b.name;
}

void fill(const SearchEntry& e, FindData* data) {
    data->attributes = e.attributes;
    data->name_id = 0;
    if ((e.attributes & FIND_ATTR_UNSUPPORTED) != 0) {
        // FNV-1a over the name's bytes.
        std::uint64_t h = 14695981039346656037u;
        for (unsigned char c : e.name)
            h = (h ^ c) * 1099511628211u;
        data->name_id = h;
    }
    str_copy(data->name, sizeof data->name, e.name.c_str());
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

} // namespace

struct FindSearch {
    std::vector<SearchEntry> entries;
    std::size_t next;
};

void plat_init() {
    // A reader that went away (such as "| head") must not end the run: writes just fail.
    signal(SIGPIPE, SIG_IGN);
    // Keep a closed standard descriptor from being reused by the report or an SFV file,
    // which standard output would then write into.
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF)
            continue;
        int null_fd = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (null_fd >= 0 && null_fd != fd) {
            dup2(null_fd, fd);
            close(null_fd);
        }
    }
}

std::size_t plat_directory_length(const char* path) {
    const char* last = nullptr;
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '\\' || *p == '/')
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
    if (!resolve_path(dir, os_dir, sizeof os_dir))
        return nullptr;
    DIR* d = opendir(os_dir);
    if (d == nullptr)
        return nullptr;
    FindSearch* search = new FindSearch{{}, 0};
    int dir_fd = dirfd(d);
    while (struct dirent* e = readdir(d)) {
        if (std::strlen(e->d_name) >= MAX_PATH || !wildcard_match(pattern, e->d_name))
            continue;
        bool is_dir = e->d_type == DT_DIR;
        if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
            struct stat st;
            is_dir = fstatat(dir_fd, e->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
        }
        std::uint32_t attributes = is_dir ? FIND_ATTR_DIRECTORY : 0u;
        if (!name_supported(e->d_name))
            attributes |= FIND_ATTR_UNSUPPORTED;
        search->entries.push_back({e->d_name, attributes});
    }
    closedir(d);
    if (search->entries.empty()) {
        delete search;
        return nullptr;
    }
    std::sort(search->entries.begin(), search->entries.end(), ntfs_before);
    fill(search->entries[0], data);
    search->next = 1;
    return search;
}

bool plat_find_next(FindSearch* search, FindData* data) {
    if (search == nullptr || search->next >= search->entries.size())
        return false;
    fill(search->entries[search->next++], data);
    return true;
}

void plat_find_close(FindSearch* search) {
    delete search;
}

// The size learned when the newest file was opened, so the size step asks no more.
struct LastOpen {
    PlatHandle handle;
    std::uint64_t size;
};
static LastOpen last_open;

bool plat_open_exclusive(const char* path, PlatHandle* file) {
    char os_path[OS_PATH_SIZE];
    if (!to_os_separators(path, os_path, sizeof os_path) || os_path[0] == '\0')
        return false;
    // Without O_NONBLOCK, opening a named pipe would wait for a writer forever.
    constexpr int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK;
    // The exact name is the common case; only a miss pays for the letter-case search.
    int fd = open(os_path, flags);
    if (fd < 0 && (errno == ENOENT || errno == ENOTDIR) &&
        resolve_path(path, os_path, sizeof os_path))
        fd = open(os_path, flags);
    if (fd < 0)
        return false;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || is_held(st)) {
        close(fd);
        return false;
    }
    *file = static_cast<PlatHandle>(fd) + 1;
    last_open = LastOpen{*file, static_cast<std::uint64_t>(st.st_size)};
    return true;
}

bool plat_file_size(PlatHandle file, std::uint64_t* size) {
    if (file != 0 && file == last_open.handle) {
        *size = last_open.size;
        return true;
    }
    struct stat st;
    if (file == 0 || fstat(static_cast<int>(file - 1), &st) != 0 || st.st_size < 0)
        return false;
    *size = static_cast<std::uint64_t>(st.st_size);
    return true;
}

// POSIX maps straight from the file descriptor: the mapping object holds nothing of its
// own, so its handle is the file's handle marked, and closing it releases nothing. This
// saves two system calls per file, which count when a directory holds many small files.
constexpr PlatHandle MAPPING_MARK = PlatHandle{1} << (sizeof(PlatHandle) * 8 - 1);

bool plat_create_mapping(PlatHandle file, std::uint64_t size, PlatHandle* mapping) {
    if (file == 0 || (file & MAPPING_MARK) != 0 || size == 0)
        return false;
    *mapping = file | MAPPING_MARK;
    return true;
}

bool plat_map_view(PlatHandle mapping, std::uint64_t size, const unsigned char** view) {
    if ((mapping & MAPPING_MARK) == 0 || size == 0 || size > SIZE_MAX)
        return false;
    void* p = mmap(nullptr, static_cast<std::size_t>(size), PROT_READ, MAP_PRIVATE,
                   static_cast<int>((mapping & ~MAPPING_MARK) - 1), 0);
    if (p == MAP_FAILED)
        return false;
    *view = static_cast<const unsigned char*>(p);
    return true;
}

void plat_unmap_view(const unsigned char* view, std::uint64_t size) {
    if (view != nullptr && size != 0)
        munmap(const_cast<unsigned char*>(view), static_cast<std::size_t>(size));
}

void plat_close_handle(PlatHandle handle) {
    if (handle == last_open.handle)
        last_open = LastOpen{0, 0};
    if (handle != 0 && (handle & MAPPING_MARK) == 0)
        close(static_cast<int>(handle - 1));
}

// A read-ahead hint cannot help a view that fits in the kernel's default read-ahead
// window; for the many small files of a directory it is one system call per file saved.
// (Pre-faulting with MAP_POPULATE was measured too, for small and large files: no gain.)
constexpr std::uint64_t SMALL_VIEW_SIZE = std::uint64_t{256} * 1024;

void plat_advise_sequential(const unsigned char* view, std::uint64_t size) {
    if (view != nullptr && size > SMALL_VIEW_SIZE)
        madvise(const_cast<unsigned char*>(view), static_cast<std::size_t>(size), MADV_SEQUENTIAL);
}

bool plat_read_view(PlatViewReader reader, std::uint32_t* state, const unsigned char* view,
                    std::uint64_t size) {
    install_view_fault_handler();
    if (sigsetjmp(view_fault_jump, 0) != 0)
        return false;
    view_guard_active = 1;
    *state = reader(*state, view, static_cast<std::size_t>(size));
    view_guard_active = 0;
    return true;
}

std::FILE* plat_fopen(const char* path, const char* mode) {
    char os_path[OS_PATH_SIZE];
    if (!resolve_path(path, os_path, sizeof os_path) || os_path[0] == '\0')
        return nullptr;
    // fopen would wait forever on a named pipe; only plain files and new names are opened.
    struct stat before;
    if (stat(os_path, &before) == 0 && !S_ISREG(before.st_mode))
        return nullptr;
    std::FILE* stream = std::fopen(os_path, mode);
    if (stream == nullptr)
        return nullptr;
    struct stat st;
    if (fstat(fileno(stream), &st) != 0 || S_ISDIR(st.st_mode)) {
        std::fclose(stream);
        return nullptr;
    }
    hold(st, stream);
    return stream;
}

int plat_fclose(std::FILE* stream) {
    if (stream == nullptr)
        return EOF;
    release_hold(stream);
    return std::fclose(stream);
}

bool plat_remove(const char* path) {
    char os_path[OS_PATH_SIZE];
    return resolve_path(path, os_path, sizeof os_path) && std::remove(os_path) == 0;
}

bool plat_redirect_stdout(const char* name) {
    char os_path[OS_PATH_SIZE];
    if (!resolve_path(name, os_path, sizeof os_path))
        return false;
    // O_NONBLOCK: a named pipe of that name must fail at once, not wait for a reader.
    int fd = open(os_path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0)
        return false;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        close(fd);
        return false;
    }
    std::fflush(stdout);
    bool moved = dup2(fd, STDOUT_FILENO) >= 0;
    close(fd);
    if (moved) {
        release_hold(nullptr);
        hold(st, nullptr);
    }
    return moved;
}

bool plat_dir_identity(const char* path, DirIdentity* id) {
    char os_path[OS_PATH_SIZE];
    struct stat st;
    if (!resolve_path(path, os_path, sizeof os_path) || stat(os_path, &st) != 0 ||
        !S_ISDIR(st.st_mode))
        return false;
    id->volume = static_cast<std::uint64_t>(st.st_dev);
    id->index_high = 0;
    id->index_low = static_cast<std::uint64_t>(st.st_ino);
    return id->index_low != 0;
}
