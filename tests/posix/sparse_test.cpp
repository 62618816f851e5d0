// Sparse files on tmpfs, where touching a hole through a mapping would allocate it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include "../unit/test_files.h"
#include "checksum/crc_queue.h"

namespace {

// Holes at the start, across piece boundaries and at the end, data beginning inside a view's
// alignment and crossing a boundary; one file in pieces, one mapped whole. Read by one
// thread and by four, each checksum is right and no file takes more room than before.
TEST_F(Files, HolesAreNeverReadNorAllocated) {
    if (access("/dev/shm", W_OK) != 0)
        GTEST_SKIP() << "no /dev/shm";
    const std::string dir = dir_.string(); // the fixture's, emptied by the fixture
    dir_ = "/dev/shm/velmora-sparse-" + std::to_string(getpid());
    std::filesystem::create_directories(dir_);
    std::filesystem::remove_all(dir);
    const std::pair<std::uint64_t, std::vector<std::pair<std::uint64_t, std::uint64_t>>> files[] = {
        {24u << 20, {{68u << 10, 1u << 20}, {9u << 20, 5000}, {31u << 19, 1u << 20}}},
        {5u << 20, {{2u << 20, 10}}}};
    std::vector<std::pair<std::string, std::uint32_t>> expected;
    for (const auto& [size, data] : files) {
        std::string bytes(size, '\0');
        const std::string path = make(std::to_string(size), "");
        const int fd = open(path.c_str(), O_WRONLY);
        for (const auto& [at, len] : data) {
            for (std::uint64_t i = at; i < at + len; ++i)
                bytes[i] = static_cast<char>(i * 7 + 1);
            ASSERT_EQ(pwrite(fd, bytes.data() + at, len, static_cast<off_t>(at)), off_t(len));
        }
        ASSERT_EQ(ftruncate(fd, static_cast<off_t>(size)), 0);
        close(fd);
        expected.emplace_back(path, crc_of(bytes));
    }
    const auto blocks = [](const std::string& path) {
        struct stat st {};
        stat(path.c_str(), &st);
        return st.st_blocks;
    };
    static CrcQueue queue;
    for (int workers : {1, 4}) {
        crc_workers_force(workers);
        for (const auto& [path, crc] : expected) {
            const auto before = blocks(path);
            crc_queue_begin(&queue, CrcSpread::Ahead);
            crc_queue_submit(&queue, path.c_str(), "", 0);
            CrcTaken taken;
            ASSERT_TRUE(crc_queue_take(&queue, &taken));
            crc_queue_end(&queue);
            EXPECT_TRUE(taken.result.read);
            EXPECT_EQ(taken.result.crc, crc) << path << " " << workers;
            EXPECT_EQ(blocks(path), before) << path << " " << workers;
        }
    }
    crc_workers_force(0);
}

} // namespace
