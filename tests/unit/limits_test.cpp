// Faults under the checksum path and buffers at their limits: a file that shrinks while it is
// mapped, and the SFV directory of paths longer than its buffer.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "check/check.h"
#include "checksum/crc32.h"
#include "checksum/crc32_kernels.h"
#include "checksum/mapped_file.h"
#include "common/constants.h"
#include "platform/platform.h"
#include "reference_crc.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t PAGE = 4096;

std::string pattern_bytes(std::size_t size) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        s[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);
    return s;
}

class ShrinkingFile : public ::testing::Test {
  protected:
    void SetUp() override {
        crc_table_init();
        // A directory of its own, so that test processes run side by side never share one.
        dir_ = fs::temp_directory_path() /
               ("velmora-limits-" + std::to_string(std::random_device{}()) +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    std::string make(const std::string& name, const std::string& bytes) {
        std::string path = (dir_ / name).string();
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
        return path;
    }
    fs::path dir_;
};

enum CutRead { CUT_REFUSED, READ_WHOLE, READ_FAILED };

// Cuts the file under the mapping to keep bytes, then reads the whole view.
CutRead read_after_cut(const std::string& path, std::size_t size, std::size_t keep) {
    MappedFile m;
    EXPECT_EQ(map_file(path.c_str(), &m), MAP_OK);
    if (m.view == nullptr)
        return READ_WHOLE;
    EXPECT_EQ(m.size, size);
    std::error_code refused;
    fs::resize_file(path, keep, refused);
    CutRead result = CUT_REFUSED;
    if (!refused) {
        std::uint32_t reg = 0xFFFFFFFFu;
        result = plat_read_view(crc32_update, &reg, m.view, m.size) ? READ_WHOLE : READ_FAILED;
    }
    unmap_file(&m);
    return result;
}

TEST_F(ShrinkingFile, ReadingPastTheNewEndFailsInsteadOfCrashing) {
    const std::size_t size = 16 * PAGE;
    std::string path = make("shrinks", pattern_bytes(size));
    CutRead first = read_after_cut(path, size, 0);
    if (first == CUT_REFUSED)
        GTEST_SKIP() << "this system refuses to shrink a mapped file, so the fault cannot occur";
    EXPECT_EQ(first, READ_FAILED) << "cut to nothing";

    // A second fault must be caught the same way.
    make("shrinks", pattern_bytes(size));
    EXPECT_EQ(read_after_cut(path, size, 3 * PAGE), READ_FAILED) << "cut after three pages";

    // The guard is released: an intact file still reads whole, with the right value.
    std::string bytes = pattern_bytes(size + 17);
    std::string intact = make("intact", bytes);
    MappedFile m;
    ASSERT_EQ(map_file(intact.c_str(), &m), MAP_OK);
    std::uint32_t reg = 0xFFFFFFFFu;
    EXPECT_TRUE(plat_read_view(crc32_update, &reg, m.view, m.size));
    unmap_file(&m);
    EXPECT_EQ(reg ^ 0xFFFFFFFFu, reference_crc(bytes));
    EXPECT_EQ(file_crc32(intact.c_str()), reference_crc(bytes));
}

TEST(SfvDirectoryLimits, LongestPathsKeepTheirDirectoryWithoutOverrun) {
    std::string dir259 = std::string(258, 'd') + "\\";
    EXPECT_EQ(std::string(sfv_directory(dir259.c_str())), dir259);
    // Longer than any setting can be: the buffer is never overrun and the result fits it.
    std::string too_long = std::string(400, 'd') + "\\x.sfv";
    EXPECT_LT(std::string(sfv_directory(too_long.c_str())).size(), std::size_t{MAX_PATH});
}

} // namespace
