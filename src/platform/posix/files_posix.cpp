// POSIX files and views: exclusive opens, views of mapped files read under a fault guard,
// what of a file is in memory, and streams that remember which files this process holds
// open.
#include <dirent.h>
#include <fcntl.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__linux__)
#include <linux/openat2.h>
#include <sys/syscall.h>
#endif

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "platform/platform.h"
#include "platform/posix/posix_paths.h"

using plat_posix::hold;
using plat_posix::OS_PATH_SIZE;
using plat_posix::release_hold;
using plat_posix::resolve_path;
using plat_posix::to_os_separators;

namespace {

// ---- Files this process holds open through its streams ----

// Changed under held_lock by the thread that opens and closes streams (the main thread, while
// no checksum worker runs); read without it, through the atomic fields, by every thread that
// opens a file, so that the check costs no lock per file.
struct HeldFile {
    std::atomic<bool> used;
    std::atomic<std::uint64_t> dev;
    std::atomic<std::uint64_t> ino;
    const void* owner; // under held_lock; nullptr for the redirected standard output
};

constexpr int MAX_HELD_FILES = 16;
std::mutex held_lock;
HeldFile held_files[MAX_HELD_FILES];

} // namespace

namespace plat_posix {

void hold(const struct stat& st, const void* owner) {
    const std::lock_guard<std::mutex> guard(held_lock);
    for (HeldFile& h : held_files) {
        if (!h.used.load(std::memory_order_relaxed)) {
            h.dev.store(static_cast<std::uint64_t>(st.st_dev), std::memory_order_relaxed);
            h.ino.store(static_cast<std::uint64_t>(st.st_ino), std::memory_order_relaxed);
            h.owner = owner;
            h.used.store(true, std::memory_order_release);
            return;
        }
    }
}

void release_hold(const void* owner) {
    const std::lock_guard<std::mutex> guard(held_lock);
    for (HeldFile& h : held_files) {
        if (h.used.load(std::memory_order_relaxed) && h.owner == owner)
            h.used.store(false, std::memory_order_release);
    }
}

} // namespace plat_posix

namespace {

bool is_held(const struct stat& st) {
    for (const HeldFile& h : held_files) {
        if (h.used.load(std::memory_order_acquire) &&
            // dev_t is a signed 32-bit type on macOS: both sides are converted alike.
            h.dev.load(std::memory_order_relaxed) == static_cast<std::uint64_t>(st.st_dev) &&
            h.ino.load(std::memory_order_relaxed) == static_cast<std::uint64_t>(st.st_ino))
            return true;
    }
    return false;
}

// ---- Guard against a file shrinking under its mapping ----

// Per thread: several threads may read views at once, and the fault is delivered to the
// thread that touched the missing page. The bytes this thread reads now are
// [guarded_begin, guarded_end); both are 0 while it reads none.
thread_local sigjmp_buf view_fault_jump;
thread_local volatile std::uintptr_t guarded_begin = 0;
thread_local volatile std::uintptr_t guarded_end = 0;

void on_view_fault(int sig, siginfo_t* info, void*) {
    // A signal another process (or thread) sent has no fault address: POSIX marks it so.
    const bool sent = info->si_code <= 0 || info->si_code == SI_USER || info->si_code == SI_QUEUE;
    const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
    if (!sent && address >= guarded_begin && address < guarded_end)
        siglongjmp(view_fault_jump, 1);
    // Any other fault, or a signal sent, ends the process as usual.
    signal(sig, SIG_DFL);
    raise(sig);
}

void install_view_fault_handler() {
    struct sigaction sa {};
    sa.sa_sigaction = on_view_fault;
    // Not blocked inside the handler. The jump out restores the reader's signal mask all
    // the same: a runtime that wraps handlers (a sanitizer's) may block more inside them.
    sa.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGBUS, &sa, nullptr);
}

// ---- What is in memory (Linux) ----

#if defined(__linux__)

// An open that fails with EAGAIN unless every component of the path is in the kernel's
// lookup cache, so that it never reads the device. Where the call itself is missing, filtered
// or without the cached lookup (a kernel before 5.12, an emulator, a sandbox) nothing is known
// to be in memory: EAGAIN too, and the file is opened in its turn.
int open_cached(const char* os_path, int flags) {
    struct open_how how {};
    how.flags = static_cast<std::uint64_t>(flags);
    how.resolve = RESOLVE_CACHED;
    const int fd = static_cast<int>(syscall(SYS_openat2, AT_FDCWD, os_path, &how, sizeof how));
    if (fd < 0 && (errno == ENOSYS || errno == EPERM || errno == EINVAL))
        errno = EAGAIN;
    return fd;
}

// stat under the same rule. An O_PATH open reaches the inode without opening the file, and
// fstat on it reads nothing.
int stat_cached(const char* os_path, struct stat* st) {
    const int fd = open_cached(os_path, O_PATH | O_CLOEXEC);
    if (fd < 0)
        return -1;
    const int got = fstat(fd, st);
    close(fd);
    return got;
}

// The page-cache counts of a range of a file (cachestat, Linux 6.5), declared here for
// older headers. Unlike a read that must not wait (RWF_NOWAIT), it starts no read-ahead.
constexpr long CACHESTAT_CALL = 451;
struct CacheRange {
    std::uint64_t offset;
    std::uint64_t length;
};
struct CacheCounts {
    std::uint64_t cached, dirty, writeback, evicted, recently_evicted;
};

long cachestat(int fd, std::uint64_t offset, std::uint64_t len, CacheCounts* counts) {
    CacheRange range{offset, len};
    return syscall(CACHESTAT_CALL, fd, &range, counts, 0);
}

std::uint64_t pages_of(std::uint64_t len) {
    static const auto page = static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
    return (len + page - 1) / page;
}

// Whether every page of the range is in memory; false where that cannot be told.
bool range_in_memory(int fd, std::uint64_t offset, std::uint64_t len) {
    CacheCounts counts{};
    return cachestat(fd, offset, len, &counts) == 0 && counts.cached >= pages_of(len);
}

} // namespace

bool plat_data_cached(PlatHandle file, std::uint64_t size) {
    return range_in_memory(static_cast<int>(file - 1), 0, size);
}

bool plat_residency_known() {
    // Asked once: where the kernel has both calls and nothing filters them, a bad descriptor
    // is what cachestat refuses. Each file is asked again: only its owner, or one who may
    // write it, may count its pages; of any other file nothing is known.
    static const bool known = [] {
        CacheCounts counts{};
        const int fd = open_cached("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        close(fd);
        return fd >= 0 && cachestat(-1, 0, 0, &counts) != 0 && errno == EBADF;
    }();
    return known;
}

#else

int open_cached(const char*, int) {
    errno = EAGAIN;
    return -1;
}

int stat_cached(const char*, struct stat*) {
    errno = EAGAIN;
    return -1;
}

// Nothing is known to be in memory.
bool range_in_memory(int, std::uint64_t, std::uint64_t) {
    return false;
}

} // namespace

bool plat_data_cached(PlatHandle, std::uint64_t) {
    return false;
}

bool plat_residency_known() {
    return false;
}

#endif

void plat_prefetch(PlatHandle file, std::uint64_t size) {
#if defined(POSIX_FADV_WILLNEED)
    posix_fadvise(static_cast<int>(file - 1), 0, static_cast<off_t>(size), POSIX_FADV_WILLNEED);
#else
    (void)file;
    (void)size;
#endif
}

namespace {

// Refused for good, being no plain file: neither worth a retry nor missing from memory.
constexpr int NOT_PLAIN = -1;

// Whether os_path names a plain file, learned without opening it: opening a device or a named
// pipe can act on it (a tape rewinds, a pipe's writer goes on). os_path, taken as given or in
// another letter case, becomes the name found. 0 for a plain file; NOT_PLAIN for anything else
// that is there; otherwise the errno value of the lookup that failed.
int plain_file_named(const char* path, plat_posix::OsPath& os_path, bool cached_only) {
    struct stat st;
    if (cached_only) {
        if (stat_cached(os_path, &st) != 0)
            return errno;
    } else if (stat(os_path, &st) != 0) {
        // The exact name is the common case; only a miss pays for the letter-case search.
        if (errno != ENOENT && errno != ENOTDIR)
            return errno;
        if (const int why = resolve_path(path, os_path); why != 0)
            return why;
        if (stat(os_path, &st) != 0)
            return errno;
    }
    return S_ISREG(st.st_mode) ? 0 : NOT_PLAIN;
}

} // namespace

namespace {

// What the report may say of a file that could not be opened or learned about, by errno:
// nothing where there is no plain file to read.
FileFault fault_of(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
    case NOT_PLAIN:
    case EISDIR:
    case ENXIO:
    case ENODEV:
        return FileFault::None;
    case EACCES:
    case EPERM:
        return FileFault::Denied;
    case EMFILE:
    case ENFILE:
        return FileFault::NoHandles;
    case ENOMEM:
        return FileFault::NoMemory;
    case EAGAIN: // a lease another process holds (O_NONBLOCK)
    case EBUSY:
        return FileFault::InUse;
    default:
        return FileFault::ReadError;
    }
}

FileStamp stamp_of(const struct stat& st) {
#if defined(__APPLE__)
    const struct timespec& t = st.st_mtimespec;
#else
    const struct timespec& t = st.st_mtim;
#endif
    return FileStamp{static_cast<std::uint64_t>(st.st_size),
                     static_cast<std::uint64_t>(t.tv_sec) * 1000000000u +
                         static_cast<std::uint64_t>(t.tv_nsec)};
}

// Opens os_path, whose name its folder's listing gave as a plain file, with its folder's part
// as last found for this thread: a build's files share their folder, and finding it again for
// each would take the listings' lock, which workers opening thousands of small files would
// pass between them. -1 with errno set when it does not open.
int open_listed(plat_posix::OsPath& os_path, int flags, bool cached_only) {
    static thread_local plat_posix::OsPath dir_given = ""; // each thread's own
    const char* slash = std::strrchr(os_path, '/');
    const std::size_t dir_len = slash == nullptr ? 0 : static_cast<std::size_t>(slash - os_path);
    if (dir_len != 0) {
        static thread_local plat_posix::OsPath dir_found = ""; // as dir_given, found
        if (std::strlen(dir_given) != dir_len || std::memcmp(dir_given, os_path, dir_len) != 0) {
            std::memcpy(dir_given, os_path, dir_len);
            dir_given[dir_len] = '\0';
            std::memcpy(dir_found, dir_given, dir_len + 1);
            plat_posix::resolve_kept(dir_found); // the same length, letter case aside
        }
        std::memcpy(os_path, dir_found, dir_len);
    }
    const int fd = cached_only ? open_cached(os_path, flags) : open(os_path, flags);
    // Found again for the next file: the caller's own lookup may teach the listings better.
    if (fd < 0 && (errno == ENOENT || errno == ENOTDIR))
        dir_given[0] = '\0';
    return fd;
}

} // namespace

// UTF-8 paths are bytes like any other here.
OpenResult plat_open_exclusive(const char* path, bool cached_only, PlatHandle* file,
                               FileStamp* stamp, FileFault* fault, NameCode /*code*/,
                               PathSeen seen) {
    char os_path[OS_PATH_SIZE];
    int fd = -1;
    int why = ENAMETOOLONG; // why fd did not open
    // O_NONBLOCK: a file turned into a named pipe since its test must not wait for a writer.
    const int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK;
    const bool fits = to_os_separators(path, os_path);
    const bool listed = fits && seen == PathSeen::ListedPlain;
    if (listed) {
        fd = open_listed(os_path, flags, cached_only);
        why = fd < 0 ? errno : 0;
    }
    // Not listed, or gone from where it was (a folder renamed, say): looked up now.
    if (fits && fd < 0 && (!listed || why == ENOENT || why == ENOTDIR)) {
        to_os_separators(path, os_path);
        // Where a directory's listing is kept (a build's folder), the name it gives spares a
        // failed lookup, and its type the lookup before the open: a plain file then, it is
        // opened at once, and its type is tested again on what was opened.
        const bool listed_plain = plat_posix::resolve_kept(os_path) == DT_REG;
        why = listed_plain ? 0 : plain_file_named(path, os_path, cached_only);
        if (why == 0)
            fd = cached_only ? open_cached(os_path, flags) : open(os_path, flags);
        if (why == 0 && fd < 0)
            why = errno;
    }
    if (fd < 0) {
        *fault = fault_of(why);
        if (why == EMFILE || why == ENFILE)
            return OpenResult::Retry;
        // A name missing from memory may still exist on the device, or in another case.
        if (cached_only && (why == EAGAIN || why == ENOENT || why == ENOTDIR))
            return OpenResult::NotCached;
        return OpenResult::Failed;
    }
    // The type again, of what was opened: the name may have changed hands since.
    struct stat st;
    const bool known = fstat(fd, &st) == 0;
    if (!known || !S_ISREG(st.st_mode) || is_held(st)) {
        *fault = !known ? fault_of(errno) : is_held(st) ? FileFault::Own : FileFault::None;
        close(fd);
        return OpenResult::Failed;
    }
    *file = static_cast<PlatHandle>(fd) + 1;
    *stamp = stamp_of(st);
    return OpenResult::Opened;
}

bool plat_file_stamp(PlatHandle file, FileStamp* stamp) {
    struct stat st;
    if (fstat(static_cast<int>(file - 1), &st) != 0)
        return false;
    *stamp = stamp_of(st);
    return true;
}

bool plat_next_data(PlatHandle file, std::uint64_t offset, std::uint64_t end, std::uint64_t* data,
                    std::uint64_t* data_end) {
    *data = offset;
    *data_end = end;
#if defined(SEEK_DATA) && defined(SEEK_HOLE)
    // lseek also moves the descriptor's offset, which the threads reading pieces share; only
    // its result is used, and every read names its own offset.
    const int fd = static_cast<int>(file - 1);
    const off_t found = lseek(fd, static_cast<off_t>(offset), SEEK_DATA);
    if (found < 0 && errno == ENXIO) {
        // Nothing but holes from offset on: true only if the file was not cut short.
        struct stat st;
        *data = end;
        return fstat(fd, &st) == 0 && static_cast<std::uint64_t>(st.st_size) >= end;
    }
    if (found < 0) // a file system that cannot tell
        return true;
    *data = std::min(static_cast<std::uint64_t>(found), end);
    if (*data == end)
        return true;
    const off_t hole = lseek(fd, found, SEEK_HOLE);
    if (hole >= 0)
        *data_end = std::min(static_cast<std::uint64_t>(hole), end);
#else
    (void)file;
#endif
    return true;
}

bool plat_map_view(PlatHandle file, std::uint64_t offset, std::uint64_t len, PlatView* view) {
    const std::uint64_t skip = offset % PLAT_VIEW_ALIGNMENT;
    // Offsets lie within the file, whose size fits off_t; a view may not fit size_t.
    if (len == 0 || len > SIZE_MAX - skip)
        return false;
    const auto size = static_cast<std::size_t>(skip + len);
    void* p = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, static_cast<int>(file - 1),
                   static_cast<off_t>(offset - skip));
    if (p == MAP_FAILED)
        return false;
    // Only large files are mapped, so the hint always has read-ahead to gain. (Pre-faulting
    // with MAP_POPULATE was measured too: no gain.)
    madvise(p, size, MADV_SEQUENTIAL);
    // One page is asked about: counting them all walks every page of a view in memory (a
    // twentieth of its read).
    const auto* mapped = static_cast<const unsigned char*>(p);
    const std::uint64_t start = offset - skip;
    *view = PlatView{mapped + skip, len,   mapped,
                     size,          start, !range_in_memory(static_cast<int>(file - 1), start, 1)};
    return true;
}

void plat_ask_view(PlatHandle file, const PlatView* view, ViewAsk ask) {
#if defined(POSIX_FADV_WILLNEED)
    // Many requests in flight at once, not the read-ahead window's few.
    const int fd = static_cast<int>(file - 1);
    const std::uint64_t start = view->mapped_at;
    const std::uint64_t size = view->mapped_size;
    if (ask != ViewAsk::Not)
        posix_fadvise(fd, static_cast<off_t>(start), static_cast<off_t>(size), POSIX_FADV_WILLNEED);
    if (ask == ViewAsk::WholeAndNext && !range_in_memory(fd, start + size, 1))
        posix_fadvise(fd, static_cast<off_t>(start + size), static_cast<off_t>(size),
                      POSIX_FADV_WILLNEED);
#else
    (void)file;
    (void)view;
    (void)ask;
#endif
}

void plat_unmap_view(const PlatView* view) {
    munmap(const_cast<unsigned char*>(view->mapped), static_cast<std::size_t>(view->mapped_size));
}

void plat_close_handle(PlatHandle handle) {
    if (handle != 0)
        close(static_cast<int>(handle - 1));
}

bool plat_read_view(PlatViewReader reader, std::uint32_t* state, const unsigned char* view,
                    std::uint64_t size) {
    // Installed once, by whichever thread reads a view first.
    static std::once_flag installed;
    std::call_once(installed, install_view_fault_handler);
    // The outcome comes from sigsetjmp itself: a local changed before the jump back would
    // hold no defined value after it.
    if (sigsetjmp(view_fault_jump, 1) != 0) {
        guarded_begin = 0;
        guarded_end = 0;
        return false;
    }
    // From the start of the view's first page: some systems (s390x) report only the page of a
    // fault, and the page holding the view's first byte is the view's own mapping.
    static const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    guarded_begin = reinterpret_cast<std::uintptr_t>(view) & ~(page - 1);
    guarded_end = reinterpret_cast<std::uintptr_t>(view + size);
    *state = reader(*state, view, static_cast<std::size_t>(size));
    guarded_begin = 0;
    guarded_end = 0;
    return true;
}

ReadResult plat_read_file(PlatHandle file, bool cached_only, unsigned char* buffer,
                          std::size_t capacity, std::uint64_t size) {
    if (cached_only && !plat_data_cached(file, size))
        return ReadResult::NotCached;
    // A regular file's read returns less than asked for only at its end (or on a signal,
    // which the program does not take), so one call tells.
    const ssize_t got = pread(static_cast<int>(file - 1), buffer, capacity, 0);
    // Never equal for -1: size is a few MiB at most.
    return static_cast<std::uint64_t>(got) == size ? ReadResult::Whole : ReadResult::Changed;
}

bool plat_read_at(PlatHandle file, std::uint64_t offset, unsigned char* buffer, std::size_t len) {
    while (len > 0) {
        const ssize_t got =
            pread(static_cast<int>(file - 1), buffer, len, static_cast<off_t>(offset));
        if (got <= 0)
            return false;
        buffer += got;
        offset += static_cast<std::uint64_t>(got);
        len -= static_cast<std::size_t>(got);
    }
    return true;
}

std::FILE* plat_fopen(const char* path, const char* mode) {
    char os_path[OS_PATH_SIZE];
    if (resolve_path(path, os_path) != 0)
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
    if (mode[0] != 'r')
        plat_posix::forget_listing(os_path);
    return stream;
}

int plat_fclose(std::FILE* stream) {
    if (stream == nullptr)
        return EOF;
    release_hold(stream);
    return std::fclose(stream);
}

void plat_remove(const char* path) {
    char os_path[OS_PATH_SIZE];
    if (resolve_path(path, os_path) == 0 && std::remove(os_path) == 0)
        plat_posix::forget_listing(os_path);
}

bool plat_redirect_stdout(const char* name) {
    char os_path[OS_PATH_SIZE];
    if (resolve_path(name, os_path) != 0)
        return false;
    // O_NONBLOCK: a named pipe of that name must fail at once, not wait for a reader.
    // O_NOFOLLOW: a link planted there must not lead the report over another file.
    int fd =
        open(os_path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW, 0666);
    if (fd < 0)
        return false;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        close(fd);
        return false;
    }
    plat_posix::forget_listing(os_path);
    std::fflush(stdout);
    const bool moved = dup2(fd, STDOUT_FILENO) == STDOUT_FILENO;
    close(fd);
    if (moved) {
        release_hold(nullptr);
        hold(st, nullptr);
    }
    return moved;
}