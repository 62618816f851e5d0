// The checksum queue on POSIX, where the system reports every open of a file and lets a test
// drop a file's data from memory.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "../open_counter.h"
#include "../unit/test_files.h"
#include "checksum/crc_queue.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

namespace {

// The system's files, with count workers (0: one per processor).
CrcIo workers(int count) {
    CrcIo io = *crc_io_system();
    io.workers = count;
    return io;
}

// A folder's device as the queue learns it, asked in turn of two: a file system in memory
// (tmpfs), then one without a block device.
TEST(Device, AFileSystemInMemoryIsSaidToBeSo) {
    PlatDevice device{};
    ASSERT_TRUE(plat_device_of("/dev/shm", &device));
    EXPECT_EQ(device.kind, DeviceKind::Memory);
    ASSERT_TRUE(plat_device_of("/proc", &device));
    EXPECT_EQ(device.kind, DeviceKind::Unknown);
}

// Queues read in turn, ahead from memory only, and ahead, one after the other in every
// order, some ended with files still pending: every file is opened once in its queue and
// never after, every checksum is its own file's, and nothing stays open. Files dropped from
// memory, where the system lets a test do that, go to the caller in turn; in a queue that
// learns its device, all are dropped: the caller reads some in turn, then workers try the
// rest and those left for the caller.
TEST_F(Files, EachFileIsOpenedOnceWhateverTheQueuesBefore) {
    const CrcIo io = workers(4);
    const CrcPlan turn{CrcSpread::InTurn, false, false, 0},
        ahead{CrcSpread::Ahead, false, false, 0}, cached{CrcSpread::CachedAhead, false, false, 0},
        learns{CrcSpread::CachedAhead, true, false, 7};
    const std::pair<CrcPlan, int> queues[] = {// and the files taken before the queue ends
                                              {turn, 45},  {ahead, 45},  {cached, 45}, {turn, 45},
                                              {cached, 7}, {learns, 45}, {learns, 20}, {ahead, 45},
                                              {ahead, 3},  {turn, 45}};
    // In every queue: three pieces, the last one byte long; one mapped view; one missing;
    // many read whole; some out of memory.
    const std::string large = std::string(16u << 20, 'L') + "!";
    const std::uint32_t large_crc = crc_of(large);
    make("large", large);
    make("mapped", std::string(5u << 20, 'M'));
    const std::uint32_t mapped_crc = crc_of(std::string(5u << 20, 'M'));
    const auto fds_open = [] { return std::distance(fs::directory_iterator("/proc/self/fd"), {}); };
    OpenCounter opens({dir_.string()});
    const auto fds_before = fds_open();
    static CrcQueue queue;
    for (std::size_t q = 0; q < std::size(queues); ++q) {
        std::vector<std::pair<std::string, std::uint32_t>> files;
        for (int i = 0; i < 45; ++i) {
            const std::string small = std::to_string(q) + "-" + std::to_string(i);
            files.push_back(i == 10 ? std::pair("large", large_crc)
                            : i == 20
                                ? std::pair("mapped", mapped_crc)
                                : std::pair(small, i == 30 ? 0u : crc_of(std::string(i % 7, 'x'))));
            if (i != 10 && i != 20 && i != 30)
                make(small, std::string(i % 7, 'x'));
            const int fd = open((dir_ / files.back().first).c_str(), O_RDONLY);
            if (i % 5 == 0 || queues[q].first.learn) // where the file system allows it
                posix_fadvise(fd, 0, 0, (fdatasync(fd), POSIX_FADV_DONTNEED));
            close(fd);
        }
        opens.take();
        crc_queue_begin(&queue, queues[q].first);
        crc_queue_io(&queue, &io);
        int submitted = 0;
        CrcTaken taken;
        for (int i = 0; i < queues[q].second; ++i) {
            for (; submitted < 45 && crc_queue_has_room(&queue); ++submitted)
                crc_queue_submit(&queue, (dir_ / files[submitted].first).c_str(),
                                 files[submitted].first.c_str(), submitted);
            ASSERT_TRUE(crc_queue_take(&queue, &taken));
            EXPECT_EQ(taken.label, files[i].first);
            EXPECT_EQ(taken.result.crc, files[i].second) << files[i].first;
            EXPECT_EQ(taken.result.read, i != 30) << files[i].first;
        }
        crc_queue_end(&queue);
        EXPECT_EQ(fds_open(), fds_before) << q;
        // Once if taken, at most once if dropped (perhaps read ahead); no other file.
        std::map<std::string, int> opened = opens.take();
        for (int i = 0; i < 45; ++i) {
            const int count = opened[dir_.string() + "/" + files[i].first];
            opened.erase(dir_.string() + "/" + files[i].first);
            EXPECT_TRUE(i < queues[q].second ? count == (i != 30) : count <= 1) << files[i].first;
        }
        EXPECT_TRUE(opened.empty()) << q << " " << opened.begin()->first;
    }
}

// Workers start only for work worth sharing (the files pending, each counted as the average
// read so far and its open, come to 4 MiB; or a file in pieces, unless it must come from the
// device), as many as the process may use, and they read ahead: a change made once the
// caller took the first file is not seen in the second. Files in memory count as such on a
// device that seeks too, wherever the kernel says what is in memory.
TEST_F(Files, WorkersStartForWorkWorthSharingAndReadAhead) {
    const int workers = std::min(plat_processor_count(), CRC_MAX_WORKERS);
    const auto threads = [] {
        return std::distance(fs::directory_iterator("/proc/self/task"), {});
    };
    // The kernel's own answer: whether it counts the pages of a file of ours (cachestat).
    const int probe = open(make("probe", "x").c_str(), O_RDONLY);
    std::uint64_t range[2] = {0, 0};
    std::uint64_t counts[5];
    const bool in_memory = syscall(451, probe, range, counts, 0) == 0;
    close(probe);
    EXPECT_EQ(plat_residency_known(), in_memory);
    const std::string large(16u << 20, 'L');
    const std::uint32_t large_crc = crc_of(large);
    const struct {
        CrcSpread spread;
        int files;
        std::string bytes;
        bool cold, shared;
    } rows[] = {{CrcSpread::CachedAhead, 1, large, true, false}, // first: no later queue counts it
                {CrcSpread::Ahead, 255, "a", false, false},
                {CrcSpread::Ahead, 256, "a", false, true},
                {CrcSpread::InTurn, 300, "a", false, false},
                {CrcSpread::CachedAhead, 256, "a", false, true},
                {CrcSpread::Ahead, 1, large, false, true},
                {CrcSpread::CachedAhead, 1, large, false, true}};
    static CrcQueue queue;
    for (const auto& row : rows) {
        if (row.spread == CrcSpread::CachedAhead && !in_memory)
            continue; // never chosen where the kernel cannot tell
        crc_queue_begin(&queue, row.spread);
        for (int i = 0; i < row.files; ++i) {
            const std::string path = make(std::to_string(i), row.bytes);
            const int fd = open(path.c_str(), O_RDONLY);
            if (row.cold)
                posix_fadvise(fd, 0, 0, (fdatasync(fd), POSIX_FADV_DONTNEED));
            close(fd);
            if (crc_queue_has_room(&queue))
                crc_queue_submit(&queue, path.c_str(), "", 0);
        }
        CrcTaken taken;
        ASSERT_TRUE(crc_queue_take(&queue, &taken));
        EXPECT_EQ(taken.result.crc, row.files > 1 ? crc_of("a") : large_crc) << row.files;
        const auto running = threads();
        make("1", "changed");
        if (row.files > 1 && crc_queue_take(&queue, &taken)) {
            EXPECT_EQ(taken.result.crc, crc_of(row.shared ? row.bytes : "changed")) << row.files;
        }
        crc_queue_end(&queue);
        // Counted against what stays once the workers are gone (a sanitizer has its own). A
        // joined thread may stay listed a moment (under an emulator).
        const long ended = row.shared && workers > 1 ? workers : 0;
        for (int wait = 0; wait < 200 && running - threads() < ended; ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(running - threads(), ended) << row.files;
    }
}

// A queue begun over slots that name a descriptor (a queue reused, or not zero-initialised)
// closes only what it opened.
TEST_F(Files, AQueueClosesNothingItDidNotOpen) {
    const int fd = open(make("kept", "k").c_str(), O_RDONLY);
    static CrcQueue queue;
    for (CrcSlot& slot : queue.slots)
        slot.file = OpenedFile{static_cast<PlatHandle>(fd) + 1, 1, 0};
    crc_queue_begin(&queue, CrcSpread::InTurn);
    crc_queue_end(&queue);
    EXPECT_NE(fcntl(fd, F_GETFD), -1);
    close(fd);
}

// Sparse files on tmpfs, where a mapped read of a hole would allocate it: holes at the start,
// across piece boundaries and at the end, data from inside a view's alignment and across a
// boundary; a file in pieces and one mapped whole, read by one thread and by four.
TEST_F(Files, HolesAreNeverReadNorAllocated) {
    fs::remove(dir_);
    dir_ = "/dev/shm/velmora-unit-" + std::to_string(getpid());
    fs::create_directory(dir_);
    static CrcQueue queue;
    for (const auto& [size, data] : {std::pair{24u << 20, std::vector{68u << 10, 1u << 20, 9u << 20,
                                                                      5000u, 31u << 19, 1u << 20}},
                                     std::pair{5u << 20, std::vector{2u << 20, 10u}}}) {
        std::string bytes(size, '\0');
        const std::string path = make(std::to_string(size), "");
        const int fd = open(path.c_str(), O_WRONLY);
        for (std::size_t i = 0; i < data.size(); i += 2) {
            for (std::size_t at = data[i]; at < data[i] + data[i + 1]; ++at)
                bytes[at] = static_cast<char>(at * 7 + 1);
            ASSERT_EQ(pwrite(fd, bytes.data() + data[i], data[i + 1], data[i]), data[i + 1]);
        }
        EXPECT_EQ(ftruncate(fd, size) + close(fd), 0);
        struct stat st[2];
        stat(path.c_str(), &st[0]);
        for (int count : {1, 4}) {
            const CrcIo io = workers(count);
            crc_queue_begin(&queue, CrcSpread::Ahead);
            crc_queue_io(&queue, &io);
            crc_queue_submit(&queue, path.c_str(), "", 0);
            CrcTaken taken;
            ASSERT_TRUE(crc_queue_take(&queue, &taken));
            crc_queue_end(&queue);
            EXPECT_EQ(taken.result.crc, crc_of(bytes)) << size << " " << count;
        }
        EXPECT_EQ((stat(path.c_str(), &st[1]), st[1].st_blocks), st[0].st_blocks) << size;
    }
}

} // namespace
