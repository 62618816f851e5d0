// Linked into the POSIX test builds of the program, so that reads fail as on a failing disk or
// a dropped network share: reading a directory, where it comes to an entry named
// "unreadable.fault"; reading a file whose name ends in ".fault", after its first 8 KiB, or
// in a view of it that reaches past 8 MiB (a file in pieces: its second piece). The
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
// and so do these definitions: the real ones are found under the same names. So does macOS
// on x86-64 bind readdir to readdir$INODE64, whose entries have 64-bit inode numbers (plain
// readdir there is the old entry point, whose entries are laid out otherwise).
#if defined(__USE_FILE_OFFSET64)
constexpr char REAL_READDIR[] = "readdir64";
constexpr char REAL_FOPEN[] = "fopen64";
constexpr char REAL_PWRITE[] = "pwrite64";
#elif defined(__APPLE__)
constexpr char REAL_READDIR[] = "readdir" __DARWIN_SUF_64_BIT_INO_T;
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

// The faults below need /proc/self and memfd_create: Linux only.
#if defined(__linux__)
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
    mmap(bytes + READABLE, static_cast<std::size_t>(page), PROT_READ, MAP_SHARED | MAP_FIXED, empty,
         0);
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

// The file fd names, or "" if none.
std::string path_of(int fd) {
    char path[4096] = {};
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    return fd >= 0 && readlink(link.c_str(), path, sizeof path - 1) > 0 ? path : "";
}

} // namespace

#if VELMORA_FORCED_WORKERS == 1
extern "C" int access(const char* path, int mode) {
    static auto* const real =
        reinterpret_cast<int (*)(const char*, int)>(dlsym(RTLD_NEXT, "access"));
    return std::strcmp(path, "/proc/self/fd") == 0 ? (errno = ENOENT, -1) : real(path, mode);
}
#endif

// A view of a ".fault" file past its first piece maps an empty file instead, whose pages fault
// when read, as a disk's read error does; the file itself stays as it was. Not where a
// sanitizer keeps its own account of mappings, which this would bypass.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
extern "C" void* mmap(void* at, std::size_t len, int prot, int flags, int fd, off_t offset) {
    static auto* const real = reinterpret_cast<void* (*)(void*, std::size_t, int, int, int, off_t)>(
        dlsym(RTLD_NEXT, "mmap64")); // glibc's 64-bit offset call, under either name
    if (offset + static_cast<off_t>(len) <= (off_t{8} << 20) || !path_of(fd).ends_with(".fault"))
        return real(at, len, prot, flags, fd, offset);
    const int empty = memfd_create("velmora-fault", MFD_CLOEXEC);
    void* view = real(at, len, prot, flags, empty, 0);
    close(empty);
    return view;
}
#endif

extern "C" ssize_t pwrite(int fd, const void* data, std::size_t len, off_t offset) {
    static auto* const real = reinterpret_cast<ssize_t (*)(int, const void*, std::size_t, off_t)>(
        dlsym(RTLD_NEXT, REAL_PWRITE));
    const std::string path = path_of(fd);
    const bool cut = path.find("/cut.sfv") != std::string::npos;
    const ssize_t written = real(fd, data, cut ? len / 2 : len, offset);
    if (cut || path.find("/late.sfv") != std::string::npos)
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
#endif
