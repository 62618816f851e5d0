// POSIX process set-up.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"
#include "platform/posix/posix_paths.h"

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