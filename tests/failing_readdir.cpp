// Linked into the POSIX test builds of the program, so that reads fail as on a failing disk or
// a dropped network share: reading a directory, where it comes to an entry named
// "unreadable.fault"; reading a file whose name ends in ".fault", after its first 8 KiB. The
// serial build writes its lists as where /proc is not mounted: under a name from the start. A
// list rewritten in place as cut.sfv or late.sfv is stopped by SIGTERM in its one write, after
// half of it or all of it.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

// With 64-bit file offsets glibc binds the names readdir and fopen to readdir64 and fopen64,
// and so do these definitions: the real ones are found under the same names.
#if defined(__USE_FILE_OFFSET64)
constexpr char REAL_READDIR[] = "readdir64";
constexpr char REAL_FOPEN[] = "fopen64";
constexpr char REAL_PWRITE[] = "pwrite64";
#else
constexpr char REAL_READDIR[] = "readdir";
constexpr char REAL_FOPEN[] = "fopen";
constexpr char REAL_PWRITE[] = "pwrite";
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

namespace {

constexpr std::size_t READABLE = 8192;

// A stream of the first READABLE bytes of stream, whose next read fails with EIO: the process's
// own memory, read through /proc/self/mem up to a page of an empty file, which holds nothing
// to read. (A page unmapped instead could be taken by another thread's mapping meanwhile.)
std::FILE* failing_copy(std::FILE* stream) {
    const long page = sysconf(_SC_PAGESIZE);
    const std::size_t span = READABLE + static_cast<std::size_t>(page);
    auto* bytes = static_cast<char*>(
        mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    if (bytes == MAP_FAILED)
        return nullptr;
    const int empty = memfd_create("velmora-guard", MFD_CLOEXEC);
    mmap(bytes + READABLE, static_cast<std::size_t>(page), PROT_READ, MAP_SHARED | MAP_FIXED,
         empty, 0);
    close(empty);
    std::fread(bytes, 1, READABLE, stream);
    const int fd = open("/proc/self/mem", O_RDONLY | O_CLOEXEC);
    if (fd < 0 ||
        lseek(fd, static_cast<off_t>(reinterpret_cast<std::uintptr_t>(bytes)), SEEK_SET) < 0) {
        close(fd);
        return nullptr;
    }
    return fdopen(fd, "rb");
}

} // namespace

#if VELMORA_FORCED_WORKERS == 1
extern "C" int access(const char* path, int mode) {
    static auto* const real =
        reinterpret_cast<int (*)(const char*, int)>(dlsym(RTLD_NEXT, "access"));
    return std::strcmp(path, "/proc/self/fd") == 0 ? (errno = ENOENT, -1) : real(path, mode);
}
#endif

extern "C" ssize_t pwrite(int fd, const void* data, std::size_t len, off_t offset) {
    static auto* const real = reinterpret_cast<ssize_t (*)(int, const void*, std::size_t, off_t)>(
        dlsym(RTLD_NEXT, REAL_PWRITE));
    char path[4096] = {};
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const bool cut =
        readlink(link.c_str(), path, sizeof path - 1) > 0 && std::strstr(path, "/cut.sfv");
    const ssize_t written = real(fd, data, cut ? len / 2 : len, offset);
    if (cut || std::strstr(path, "/late.sfv") != nullptr)
        raise(SIGTERM);
    return written;
}

extern "C" std::FILE* fopen(const char* path, const char* mode) {
    static auto* const real =
        reinterpret_cast<std::FILE* (*)(const char*, const char*)>(dlsym(RTLD_NEXT, REAL_FOPEN));
    std::FILE* stream = real(path, mode);
    const std::size_t len = std::strlen(path);
    if (stream == nullptr || mode[0] != 'r' || len < 6 ||
        std::strcmp(path + len - 6, ".fault") != 0)
        return stream;
    std::FILE* failing = failing_copy(stream);
    std::fclose(stream);
    return failing;
}
