// For macOS cross builds with Zig only, whose macOS headers lack <util.h>: the terminal calls
// the system's C library has, as a Mac's own header declares them.
#pragma once

#include <sys/ioctl.h>
#include <termios.h>

#ifdef __cplusplus
extern "C" {
#endif
int openpty(int* amaster, int* aslave, char* name, struct termios* termp, struct winsize* winp);
int forkpty(int* amaster, char* name, struct termios* termp, struct winsize* winp);
int login_tty(int fd);
#ifdef __cplusplus
}
#endif
