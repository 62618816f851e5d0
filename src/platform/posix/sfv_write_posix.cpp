// POSIX SFV files written whole: a new file beside the list (unnamed on Linux until it is put in
// place), renamed over it when complete, every step taken relative to a handle on the list's
// directory; and a list that must be rewritten in place, kept in memory and written at once.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "platform/posix/posix_paths.h"

using plat_posix::OsPath;

namespace {

// The signals that stop a run from outside: a terminal's keys, a hang-up, kill's default.
constexpr int STOP_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

#if defined(__linux__)
// Needs no right to read the directory, only to reach it.
constexpr int DIR_OPEN_FLAGS = O_PATH | O_DIRECTORY | O_CLOEXEC;
#elif defined(O_SEARCH)
constexpr int DIR_OPEN_FLAGS = O_SEARCH | O_DIRECTORY | O_CLOEXEC;
#else
// Elsewhere a directory takes a list only when it may be read.
constexpr int DIR_OPEN_FLAGS = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

// The list being written; there is one at a time.
struct ListWrite {
    std::FILE* stream; // nullptr when none
    bool in_place;     // written under its own name: the directory took no new file
    bool named;        // the new file has the name temp in dir
    int dir;           // the list's directory, while a new file is written there; or -1
    int fd;            // in place: the list itself
    char* text;        // in place: the list so far, in memory (the stream's)
    std::size_t text_size;
    OsPath target;    // the list's path as it exists on disk, or the name to create
    const char* name; // its last component, in target
    char temp[64];    // the new file's name in dir, once it has one
};
ListWrite list_in_progress;

sigset_t stop_set() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : STOP_SIGNALS)
        sigaddset(&set, sig);
    return set;
}

// What a stop signal's handler must mend, set before doomed says which (release) and read by
// the handler, on any thread, after it has read doomed (acquire).
enum Doom : int { DOOM_NONE, DOOM_TEMP, DOOM_CUT };
struct DoomedFile {
    int dir; // DOOM_TEMP: the new file's name in dir is removed
    char name[64];
    int fd; // DOOM_CUT: the list written in place is emptied unless it holds size bytes
    off_t size;
};
DoomedFile doomed_file;
std::atomic<int> doomed{DOOM_NONE};

void on_stop_signal(int sig) {
    plat_posix::erase_progress_for_signal();
    const int doom = doomed.load(std::memory_order_acquire);
    struct stat st;
    if (doom == DOOM_TEMP) {
        unlinkat(doomed_file.dir, doomed_file.name, 0);
    } else if (doom == DOOM_CUT &&
               (fstat(doomed_file.fd, &st) != 0 || st.st_size != doomed_file.size)) {
        // A directory that took no new file takes no removal either.
        [[maybe_unused]] const int emptied = ftruncate(doomed_file.fd, 0);
    }
    // The default action is back (SA_RESETHAND): the run ends as the signal says, so the
    // exit status tells how it ended.
    raise(sig);
}

} // namespace

// Only the main thread installs them.
void plat_posix::install_stop_handlers() {
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    for (int sig : STOP_SIGNALS) {
        struct sigaction old {};
        // A signal the run was started to ignore (nohup, a background job) stays ignored.
        if (sigaction(sig, nullptr, &old) != 0 || old.sa_handler == SIG_IGN)
            continue;
        struct sigaction sa {};
        sa.sa_handler = on_stop_signal;
        sa.sa_flags = SA_RESETHAND | SA_NODEFER;
        sigemptyset(&sa.sa_mask);
        sigaction(sig, &sa, nullptr);
    }
}

// The mask the main thread had before the report held the stop signals back, put back as it
// was: a signal the run was started with blocked stays blocked.
void plat_hold_stops(bool hold) {
    static sigset_t saved;
    static bool holding = false;
    if (hold == holding)
        return;
    holding = hold;
    const sigset_t set = stop_set();
    pthread_sigmask(hold ? SIG_BLOCK : SIG_SETMASK, hold ? &set : &saved, hold ? &saved : nullptr);
}

void plat_thread_takes_no_stops() {
    const sigset_t set = stop_set();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

namespace {

// Holds the stop signals back while a name in the directory and doomed change together. No
// checksum worker runs while a list is opened or put in place, so the main thread is the only
// one a signal can reach then.
struct StopSignalsHeld {
    sigset_t saved;
    StopSignalsHeld() {
        const sigset_t set = stop_set();
        pthread_sigmask(SIG_BLOCK, &set, &saved);
    }
    ~StopSignalsHeld() { pthread_sigmask(SIG_SETMASK, &saved, nullptr); }
    StopSignalsHeld(const StopSignalsHeld&) = delete;
    StopSignalsHeld& operator=(const StopSignalsHeld&) = delete;
};

// The name of the attempt-th try; a file left by a process of the same id (one killed
// outright) is passed over.
void name_temp(ListWrite* w, int attempt) {
    std::snprintf(w->temp, sizeof w->temp, "%s%ld-%d%s", PLAT_LIST_TEMP_PREFIX,
                  static_cast<long>(getpid()), attempt, PLAT_LIST_TEMP_SUFFIX);
}

// Gives the new file, open as fd, a name of its own in the list's directory: by a new file there
// (fd -1), or by a link to the unnamed file fd. Stop signals must be held.
bool take_temp_name(ListWrite* w, int* fd) {
    char proc_path[48];
    std::snprintf(proc_path, sizeof proc_path, "/proc/self/fd/%d", *fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        name_temp(w, attempt);
        if (*fd >= 0 ? linkat(AT_FDCWD, proc_path, w->dir, w->temp, AT_SYMLINK_FOLLOW) == 0
                     : (*fd = openat(w->dir, w->temp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                                     0666)) >= 0) {
            w->named = true;
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

// Creates the new file in the list's directory; -1 when the directory takes none.
int create_temp(ListWrite* w) {
#if defined(__linux__) && defined(O_TMPFILE)
    // Unnamed until it is put in place, so that no other build lists it and no kill leaves it.
    // Its name comes by a link through /proc, without which it is named from the start; so is
    // it where the file system or kernel has no unnamed files (EOPNOTSUPP, EISDIR, ENOENT...).
    if (access("/proc/self/fd", X_OK) == 0) {
        const int fd = openat(w->dir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (fd >= 0)
            return fd;
    }
#endif
    const StopSignalsHeld held;
    int fd = -1;
    if (!take_temp_name(w, &fd))
        return -1;
    std::memcpy(doomed_file.name, w->temp, sizeof w->temp);
    doomed_file.dir = w->dir;
    doomed.store(DOOM_TEMP, std::memory_order_release);
    return fd;
}

// Ends the new file's stream; on failure, no name of it is left. Puts the new file under the
// list's name when it is complete and commit is asked.
bool finish_temp(ListWrite* w, std::FILE* stream, bool commit) {
    bool ok = commit && std::fflush(stream) == 0;
    const StopSignalsHeld held;
    if (ok && !w->named) {
        int fd = fileno(stream);
        ok = take_temp_name(w, &fd);
    }
    ok = std::fclose(stream) == 0 && ok;
    ok = ok && renameat(w->dir, w->temp, w->dir, w->name) == 0;
    if (!ok && w->named)
        unlinkat(w->dir, w->temp, 0);
    doomed.store(DOOM_NONE, std::memory_order_release);
    return ok;
}

// Writes the list kept in memory over the old one with one write; a stop signal in its midst
// (see on_stop_signal) or a failure leaves the list empty, never cut.
bool write_in_place(ListWrite* w, std::FILE* stream, bool commit) {
    bool ok = std::fclose(stream) == 0 && commit;
    if (ok) {
        doomed_file.fd = w->fd;
        doomed_file.size = static_cast<off_t>(w->text_size);
        doomed.store(DOOM_CUT, std::memory_order_release);
        ok = ftruncate(w->fd, 0) == 0 &&
             pwrite(w->fd, w->text, w->text_size, 0) == static_cast<ssize_t>(w->text_size);
        if (!ok) {
            [[maybe_unused]] const int emptied = ftruncate(w->fd, 0);
        }
        doomed.store(DOOM_NONE, std::memory_order_release);
    }
    ok = close(w->fd) == 0 && ok;
    std::free(w->text);
    return ok;
}

bool finish(std::FILE* stream, bool commit) {
    ListWrite* w = &list_in_progress;
    if (stream == nullptr || stream != w->stream)
        return false;
    plat_posix::release_hold(stream);
    w->stream = nullptr;
    const bool ok =
        w->in_place ? write_in_place(w, stream, commit) : finish_temp(w, stream, commit);
    if (w->dir >= 0)
        close(w->dir);
    plat_posix::forget_listing(w->target);
    return ok;
}

// Opens the list's directory and names the list in it.
bool open_dir(ListWrite* w) {
    char* slash = std::strrchr(w->target, '/');
    w->name = slash == nullptr ? w->target : slash + 1;
    if (slash == nullptr) {
        w->dir = open(".", DIR_OPEN_FLAGS);
    } else {
        const char kept = slash[1];
        slash[1] = '\0';
        w->dir = open(w->target, DIR_OPEN_FLAGS);
        slash[1] = kept;
    }
    return w->dir >= 0;
}

} // namespace

std::FILE* plat_list_open(const char* path) {
    ListWrite* w = &list_in_progress;
    if (w->stream != nullptr || plat_posix::resolve_path(path, w->target) != 0 || !open_dir(w))
        return nullptr;
    w->named = false;
    struct stat old;
    const bool exists = fstatat(w->dir, w->name, &old, AT_SYMLINK_NOFOLLOW) == 0;
    const bool replaces_file = exists && S_ISREG(old.st_mode);
    // A link at the list's name is replaced, never written through; any other kind of file
    // is refused, and so is a list the user may not write, though its directory would let a
    // rename replace it.
    int fd = -1;
    bool refused = exists ? !replaces_file && !S_ISLNK(old.st_mode) : errno != ENOENT;
    if (!refused && replaces_file) {
        fd = openat(w->dir, w->name, O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        refused = fd < 0;
        if (fd >= 0)
            close(fd);
    }
    if (!refused) {
        plat_posix::install_stop_handlers();
        fd = create_temp(w);
        // Only a directory that refuses new files gets the list in place: a full disk or
        // quota would let the old list be emptied and then lost with the failed new one.
        refused = fd < 0 && errno != EACCES && errno != EPERM;
    }
    w->in_place = fd < 0;
    if (!refused && w->in_place) {
        // A directory the user may not write to: the list itself, as it always was, though
        // only once it is complete. O_NONBLOCK keeps a named pipe put there meanwhile from
        // blocking the open.
        fd =
            openat(w->dir, w->name, O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    } else if (!refused && replaces_file) {
        // The new list keeps the old one's owner where the user may give it, and its mode.
        [[maybe_unused]] const int given = fchown(fd, old.st_uid, old.st_gid);
        fchmod(fd, old.st_mode & 0777);
    }
    struct stat st;
    if (fd >= 0 && (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        close(fd);
        fd = -1;
    }
    w->fd = fd;
    if (fd >= 0)
        w->stream = w->in_place ? open_memstream(&w->text, &w->text_size) : fdopen(fd, "wb");
    if (w->stream == nullptr) {
        if (fd >= 0)
            close(fd);
        const StopSignalsHeld held;
        if (w->named)
            unlinkat(w->dir, w->temp, 0);
        doomed.store(DOOM_NONE, std::memory_order_release);
        close(w->dir);
        return nullptr;
    }
    // The old list counts as open, so that nothing reads it while it is replaced; so does the
    // file a link at its name leads to, which a pattern reaches through the link.
    plat_posix::hold(w->in_place || !replaces_file ? st : old, w->stream);
    struct stat linked;
    if (exists && S_ISLNK(old.st_mode) && fstatat(w->dir, w->name, &linked, 0) == 0)
        plat_posix::hold(linked, w->stream);
    if (w->in_place) {
        close(w->dir);
        w->dir = -1;
    }
    // A name made in the folder would be missing from its kept listing; an unnamed new list
    // changes nothing there until it is put in place, and the listing stays for the reads.
    if (w->named || (w->in_place && !exists))
        plat_posix::forget_listing(w->target);
    return w->stream;
}

bool plat_list_commit(std::FILE* stream) {
    return finish(stream, true);
}

void plat_list_abandon(std::FILE* stream) {
    finish(stream, false);
}
