// Linked into the POSIX test builds of the program: reading a directory fails, as on a failing
// disk or a dropped network share, where it comes to an entry named "unreadable.fault".
#include <dirent.h>
#include <dlfcn.h>

#include <cerrno>
#include <cstring>

// With 64-bit file offsets glibc binds the name readdir to readdir64, and so does this
// definition: the real one is found under the same name.
#if defined(__USE_FILE_OFFSET64)
constexpr char REAL_READDIR[] = "readdir64";
#else
constexpr char REAL_READDIR[] = "readdir";
#endif

extern "C" struct dirent* readdir(DIR* dir) {
    static auto* const real =
        reinterpret_cast<struct dirent* (*)(DIR*)>(dlsym(RTLD_NEXT, REAL_READDIR));
    struct dirent* e = real(dir);
    if (e != nullptr && std::strcmp(e->d_name, "unreadable.fault") == 0) {
        errno = EIO;
        return nullptr;
    }
    return e;
}
