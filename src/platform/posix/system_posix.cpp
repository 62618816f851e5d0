// POSIX process set-up, and the devices files lie on.
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "platform/platform.h"
#include "platform/posix/posix_paths.h"

void plat_init() {
    // A reader that went away (such as "| head") must not end the run: writes just fail.
    signal(SIGPIPE, SIG_IGN);
    // Nor a file-size limit: the SFV file's write fails, it is named, and the run goes on.
    signal(SIGXFSZ, SIG_IGN);
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
int plat_processor_count() {
#if defined(__linux__)
    cpu_set_t set;
    return sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 1;
#else
    return std::max(1L, sysconf(_SC_NPROCESSORS_ONLN));
#endif
}

#if defined(__linux__)

namespace {

// The first character of a small sysfs file, or 0.
char read_flag(const char* path) {
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    char c = 0;
    if (read(fd, &c, 1) != 1)
        c = 0;
    close(fd);
    return c;
}

// The kind of the device with id dev, file system type fs_type.
DeviceKind kind_of(dev_t dev, unsigned long fs_type) {
    constexpr unsigned long TMPFS = 0x01021994;
    constexpr unsigned long RAMFS = 0x858458F6;
    if (fs_type == TMPFS || fs_type == RAMFS)
        return DeviceKind::Memory;
    // The device's own queue or, for a partition, its disk's.
    static const char* const QUEUES[] = {"queue", "../queue"};
    for (const char* queue : QUEUES) {
        char sys_path[96];
        std::snprintf(sys_path, sizeof sys_path, "/sys/dev/block/%u:%u/%s/rotational", major(dev),
                      minor(dev), queue);
        const char flag = read_flag(sys_path);
        if (flag != 0)
            return flag == '1' ? DeviceKind::Rotating : DeviceKind::Solid;
    }
    return DeviceKind::Unknown;
}

} // namespace

bool plat_device_of(const char* dir, PlatDevice* device) {
    char os_path[plat_posix::OS_PATH_SIZE];
    struct stat st;
    if (plat_posix::resolve_path(dir[0] != '\0' ? dir : ".", os_path) != 0 ||
        stat(os_path, &st) != 0)
        return false;
    // A recursive build asks once per directory, nearly always about the same device: it is
    // looked up once. Only the thread that runs the queues asks.
    static dev_t last_device = 0;
    static DeviceKind last_kind = DeviceKind::Unknown;
    if (st.st_dev != last_device || last_device == 0) {
        struct statfs fs {};
        last_kind = kind_of(st.st_dev, statfs(os_path, &fs) == 0 ? fs.f_type : 0);
        last_device = st.st_dev;
    }
    *device = PlatDevice{static_cast<std::uint64_t>(st.st_dev), last_kind};
    return true;
}

#else

// Elsewhere (macOS, the BSDs) the answer would take the device's own driver (IOKit's medium
// type, the disk's rotation rate): no seek penalty is assumed, as for any device the system
// cannot tell. Files are then read ahead by several threads, which costs a rotating disk
// some seeking and nothing else.
bool plat_device_of(const char* dir, PlatDevice* device) {
    char os_path[plat_posix::OS_PATH_SIZE];
    struct stat st;
    if (plat_posix::resolve_path(dir[0] != '\0' ? dir : ".", os_path) != 0 ||
        stat(os_path, &st) != 0)
        return false;
    *device = PlatDevice{static_cast<std::uint64_t>(st.st_dev), DeviceKind::Solid};
    return true;
}

#endif
