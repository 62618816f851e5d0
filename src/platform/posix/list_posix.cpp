// POSIX SFV files written whole: a new file beside the list, renamed over it when complete,
// and removed by a signal that stops the run.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "platform/posix/posix_paths.h"

using plat_posix::OsPath;

namespace {

// The signals that stop a run from outside: a terminal's keys, a hang-up, kill's default.
constexpr int STOP_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// The list being written; there is one at a time.
struct ListWrite {
    std::FILE* stream; // nullptr when none
    bool in_place;     // written under its own name: the directory took no new file
    OsPath target;     // the list's path as it exists on disk, or the name to create
    OsPath temp;       // the new file beside it, unless in_place
};
ListWrite current;

sigset_t stop_set() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : STOP_SIGNALS)
        sigaddset(&set, sig);
    return set;
}

// The new file's path for the signal handler, valid while doomed is set. Lock-free, so a
// handler may read it.
char doomed_path[plat_posix::OS_PATH_SIZE];
std::atomic<bool> doomed{false};

void on_stop_signal(int sig) {
    plat_posix::erase_progress_for_signal();
    if (doomed.load(std::memory_order_acquire))
        unlink(doomed_path);
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

// Holds the stop signals back while the new file and doomed change together. No checksum
// worker runs while a list is opened or put in place, so the main thread is the only one a
// signal can reach then.
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

// Creates a new file in the list's directory; -1 when the directory takes none.
int create_temp(ListWrite* w) {
    const char* slash = std::strrchr(w->target, '/');
    const int dir_len = slash == nullptr ? 0 : static_cast<int>(slash - w->target) + 1;
    // A file left by a process of the same id (one killed outright) is passed over.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int len = std::snprintf(w->temp, sizeof w->temp, "%.*s.velmora-%ld-%d.tmp", dir_len,
                                      w->target, static_cast<long>(getpid()), attempt);
        if (len < 0 || static_cast<std::size_t>(len) >= sizeof w->temp) {
            errno = ENAMETOOLONG;
            return -1;
        }
        const StopSignalsHeld held;
        const int fd = open(w->temp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            std::memcpy(doomed_path, w->temp, static_cast<std::size_t>(len) + 1);
            doomed.store(true, std::memory_order_release);
            return fd;
        }
        if (errno != EEXIST)
            return -1;
    }
    return -1;
}

// Removes what a list that failed left: the new file, or the list written in place, which
// would be trusted later though cut short.
void discard(ListWrite* w) {
    const StopSignalsHeld held;
    unlink(w->in_place ? w->target : w->temp);
    doomed.store(false, std::memory_order_release);
}

} // namespace

std::FILE* plat_list_open(const char* path) {
    ListWrite* w = &current;
    if (w->stream != nullptr || !plat_posix::resolve_path(path, w->target))
        return nullptr;
    struct stat old;
    const bool exists = lstat(w->target, &old) == 0;
    const bool replaces_file = exists && S_ISREG(old.st_mode);
    // A link at the list's name is replaced, never written through; any other kind of file
    // is refused, and so is a list the user may not write, though its directory would let a
    // rename replace it.
    if (exists ? !replaces_file && !S_ISLNK(old.st_mode) : errno != ENOENT)
        return nullptr;
    if (replaces_file) {
        const int probe = open(w->target, O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (probe < 0)
            return nullptr;
        close(probe);
    }
    plat_posix::install_stop_handlers();
    int fd = create_temp(w);
    // Only a directory that refuses new files gets the list in place: a full disk or quota
    // would let the old list be emptied and then lost with the failed new one.
    if (fd < 0 && errno != EACCES && errno != EPERM && errno != ENAMETOOLONG)
        return nullptr;
    w->in_place = fd < 0;
    if (w->in_place) {
        // A directory the user may not write to: the list itself, as it always was.
        // O_NONBLOCK keeps a named pipe put there meanwhile from blocking the open.
        fd = open(w->target, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                  0666);
    } else if (replaces_file) {
        // The new list keeps the old one's owner where the user may give it, and its mode.
        [[maybe_unused]] const int given = fchown(fd, old.st_uid, old.st_gid);
        fchmod(fd, old.st_mode & 0777);
    }
    struct stat st;
    if (fd >= 0 && (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        close(fd);
        fd = -1;
    }
    w->stream = fd < 0 ? nullptr : fdopen(fd, "wb");
    if (w->stream == nullptr) {
        if (fd >= 0)
            close(fd);
        if (!w->in_place)
            discard(w);
        return nullptr;
    }
    // The old list counts as open, so that a pattern matching it lists it with 0; so does
    // the file a link at its name leads to, which a pattern reaches through the link.
    plat_posix::hold(w->in_place || !replaces_file ? st : old, w->stream);
    struct stat linked;
    if (exists && S_ISLNK(old.st_mode) && stat(w->target, &linked) == 0)
        plat_posix::hold(linked, w->stream);
    plat_posix::forget_listing(w->target);
    return w->stream;
}

bool plat_list_commit(std::FILE* stream) {
    ListWrite* w = &current;
    if (stream == nullptr || stream != w->stream)
        return false;
    plat_posix::release_hold(stream);
    w->stream = nullptr;
    bool ok = std::fclose(stream) == 0;
    if (ok && !w->in_place) {
        const StopSignalsHeld held;
        ok = rename(w->temp, w->target) == 0;
        doomed.store(!ok, std::memory_order_release);
    }
    if (!ok)
        discard(w);
    plat_posix::forget_listing(w->target);
    return ok;
}

void plat_list_abandon(std::FILE* stream) {
    ListWrite* w = &current;
    if (stream == nullptr || stream != w->stream)
        return;
    plat_posix::release_hold(stream);
    w->stream = nullptr;
    std::fclose(stream);
    discard(w);
    plat_posix::forget_listing(w->target);
}
