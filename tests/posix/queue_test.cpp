// The checksum queue on POSIX, where the system reports every open of a file and lets a test
// drop a file's data from memory.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "../open_counter.h"
#include "checksum/crc32.h"
#include "checksum/crc_queue.h"

namespace fs = std::filesystem;

namespace {

std::uint32_t crc_of(const std::string& s) {
    std::uint32_t reg = 0xFFFFFFFFu;
    for (unsigned char c : s) {
        reg ^= c;
        for (int bit = 0; bit < 8; ++bit)
            reg = (reg & 1) ? (reg >> 1) ^ 0xEDB88320u : reg >> 1;
    }
    return ~reg;
}

class Queue : public testing::Test {
  protected:
    void SetUp() override {
        crc_table_init();
        dir_ =
            fs::temp_directory_path() / ("velmora-queue-" + std::to_string(std::random_device{}()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    void make(const std::string& name, const std::string& bytes) {
        std::ofstream((dir_ / name).string(), std::ios::binary) << bytes;
    }
    fs::path dir_;
};

// Queues read in turn, ahead from memory only, and ahead, one after the other in every
// order, some ended with files still pending: every file is opened once in its queue and
// never after, every checksum is its own file's, and nothing stays open. Files dropped from
// memory, where the system lets a test do that, go to the caller in turn.
TEST_F(Queue, EachFileIsOpenedOnceWhateverTheQueuesBefore) {
    crc_workers_force(4);
    struct Batch {
        CrcSpread spread;
        int take; // files taken before the queue ends
    };
    const Batch batches[] = {{CrcSpread::InTurn, 45},      {CrcSpread::Ahead, 45},
                             {CrcSpread::CachedAhead, 45}, {CrcSpread::InTurn, 45},
                             {CrcSpread::CachedAhead, 7},  {CrcSpread::Ahead, 45},
                             {CrcSpread::Ahead, 3},        {CrcSpread::InTurn, 45}};
    // In every queue: three pieces, the last one byte long; one mapped view; one missing;
    // many read whole, a few of them out of memory where the file system allows it.
    const std::string large = std::string(16u << 20, 'L') + "!";
    const std::string mapped(5u << 20, 'M');
    make("large", large);
    make("mapped", mapped);
    const std::uint32_t large_crc = crc_of(large);
    const std::uint32_t mapped_crc = crc_of(mapped);
    const auto fds_open = [] { return std::distance(fs::directory_iterator("/proc/self/fd"), {}); };
    OpenCounter opens({dir_.string()});
    const auto fds_before = fds_open();
    static CrcQueue queue;
    for (std::size_t b = 0; b < std::size(batches); ++b) {
        std::vector<std::pair<std::string, std::string>> files;
        for (int i = 0; i < 45; ++i) {
            const std::string name = i == 10   ? "large"
                                     : i == 20 ? "mapped"
                                               : std::to_string(b) + "-" + std::to_string(i);
            const std::string bytes = i == 10 ? large : i == 20 ? mapped : std::string(i % 7, 'x');
            if (i != 10 && i != 20 && i != 30)
                make(name, bytes);
            files.push_back({name, i == 30 ? std::string() : bytes});
        }
        for (const std::string& name : {files[5].first, files[10].first, files[20].first}) {
            const int fd = open((dir_ / name).c_str(), O_RDONLY);
            fdatasync(fd);
            posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
            close(fd);
        }
        const std::map<std::string, int> prior = opens.counts();
        crc_queue_begin(&queue, batches[b].spread);
        int submitted = 0;
        CrcTaken taken;
        for (int i = 0; i < batches[b].take; ++i) {
            for (; submitted < 45 && crc_queue_has_room(&queue); ++submitted)
                crc_queue_submit(&queue, (dir_ / files[submitted].first).c_str(),
                                 files[submitted].first.c_str(), submitted);
            ASSERT_TRUE(crc_queue_take(&queue, &taken));
            const auto& [name, bytes] = files[i];
            EXPECT_EQ(taken.label, name);
            EXPECT_EQ(taken.tag, static_cast<std::uint32_t>(i));
            const std::uint32_t crc = i == 10 ? large_crc : i == 20 ? mapped_crc : crc_of(bytes);
            EXPECT_EQ(taken.result.crc, i == 30 ? 0u : crc) << name;
            EXPECT_EQ(taken.result.read, i != 30) << name;
        }
        crc_queue_end(&queue);
        EXPECT_EQ(fds_open(), fds_before) << b;
        // In this queue: once if taken, at most once if dropped (read ahead); none other.
        std::map<std::string, int> opened = opens.counts();
        for (const auto& [path, count] : prior)
            opened[path] -= count;
        for (int i = 0; i < 45; ++i) {
            const std::string path = dir_.string() + "/" + files[i].first;
            const int count = opened[path];
            opened.erase(path);
            if (i < batches[b].take)
                EXPECT_EQ(count, i == 30 ? 0 : 1) << b << " " << files[i].first;
            else
                EXPECT_LE(count, 1) << b << " " << files[i].first;
        }
        for (const auto& [path, count] : opened)
            EXPECT_EQ(count, 0) << b << " " << path;
    }
}

} // namespace
