// Floors for the whole-process benchmarks: what the hardware and the kernel allow with
// nothing else in the way. Linux only, like compare.sh.
//   velmora_floors read T DIR      open + read + close of every file of DIR on T threads
//   velmora_floors map T FILE      one mapping of FILE, each of T threads reads its part
//   velmora_floors mapeach T DIR   open + fstat + mmap + read + munmap + close per file
// Every byte is touched (a sum, printed so it cannot be optimised away).
#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

std::uint64_t sum_bytes(const unsigned char* data, std::size_t len) {
    std::uint64_t sum = 0;
    std::size_t i = 0;
    for (; i + 8 <= len; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, data + i, sizeof w);
        sum += w;
    }
    for (; i < len; ++i)
        sum += data[i];
    return sum;
}

std::vector<std::string> list_files(const char* dir) {
    std::vector<std::string> names;
    DIR* d = opendir(dir);
    if (d == nullptr)
        return names;
    while (dirent* e = readdir(d)) {
        std::string path = std::string(dir) + "/" + e->d_name;
        struct stat st;
        // Some file systems (FUSE ones among them) give no kind in the listing.
        if (e->d_type == DT_REG ||
            (e->d_type == DT_UNKNOWN && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)))
            names.push_back(std::move(path));
    }
    closedir(d);
    // In name order, as a list is read: on a disk that seeks, the order is the cost.
    std::sort(names.begin(), names.end());
    return names;
}

// Runs body(thread index) on n threads, the calling thread being the first.
template <typename Body> void run_threads(int n, Body body) {
    std::vector<std::thread> threads;
    for (int t = 1; t < n; ++t)
        threads.emplace_back(body, t);
    body(0);
    for (std::thread& t : threads)
        t.join();
}

std::uint64_t read_files(int threads, const char* dir, bool map) {
    const std::vector<std::string> files = list_files(dir);
    std::atomic<std::size_t> next{0};
    std::atomic<std::uint64_t> total{0};
    run_threads(threads, [&](int) {
        std::vector<unsigned char> buf(1 << 20);
        std::uint64_t sum = 0;
        for (std::size_t i; (i = next.fetch_add(1)) < files.size();) {
            int fd = open(files[i].c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0)
                continue;
            if (map) {
                struct stat st;
                if (fstat(fd, &st) == 0 && st.st_size > 0) {
                    void* p = mmap(nullptr, st.st_size, PROT_READ, MAP_PRIVATE, fd, 0);
                    if (p != MAP_FAILED) {
                        sum += sum_bytes(static_cast<unsigned char*>(p), st.st_size);
                        munmap(p, st.st_size);
                    }
                }
            } else {
                ssize_t n = read(fd, buf.data(), buf.size());
                if (n > 0)
                    sum += buf[0] + buf[n - 1];
            }
            close(fd);
        }
        total += sum;
    });
    return total;
}

std::uint64_t map_one(int threads, const char* path) {
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0 || st.st_size == 0)
        return 0;
    const std::size_t size = static_cast<std::size_t>(st.st_size);
    void* p = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (p == MAP_FAILED)
        return 0;
    madvise(p, size, MADV_SEQUENTIAL);
    const auto* data = static_cast<const unsigned char*>(p);
    std::atomic<std::uint64_t> total{0};
    run_threads(threads, [&](int t) {
        const std::size_t begin = size / threads * t;
        const std::size_t end = t + 1 == threads ? size : size / threads * (t + 1);
        total += sum_bytes(data + begin, end - begin);
    });
    munmap(p, size);
    close(fd);
    return total;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: velmora_floors read|map|mapeach THREADS PATH\n");
        return 2;
    }
    const int threads = std::max(1, std::atoi(argv[2]));
    const std::string mode = argv[1];
    std::uint64_t sum = 0;
    if (mode == "read")
        sum = read_files(threads, argv[3], false);
    else if (mode == "mapeach")
        sum = read_files(threads, argv[3], true);
    else if (mode == "map")
        sum = map_one(threads, argv[3]);
    else
        return 2;
    std::printf("%016llx\n", static_cast<unsigned long long>(sum));
    return 0;
}
