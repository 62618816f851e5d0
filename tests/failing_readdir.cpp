// Linked into the POSIX test builds of the program: reading a directory fails, as on a failing
// disk or a dropped network share, where it comes to an entry named "unreadable.fault".
#include <dirent.h>
#include <dlfcn.h>

#include <cerrno>
#include <cstring>

extern "C" struct dirent* readdir(DIR* dir) {
    static auto* const real =
        reinterpret_cast<struct dirent* (*)(DIR*)>(dlsym(RTLD_NEXT, "readdir"));
    struct dirent* e = real(dir);
    if (e != nullptr && std::strcmp(e->d_name, "unreadable.fault") == 0) {
        errno = EIO;
        return nullptr;
    }
    return e;
}
