// Whole-file mapping: status of each failing step and the state of the record.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "checksum/mapped_file.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

namespace {

class MapFile : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("velmora-map-" + std::to_string(std::random_device{}()) +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string make(const std::string& name, const std::string& bytes) {
        std::ofstream((dir_ / name).string(), std::ios::binary) << bytes;
        return (dir_ / name).string();
    }
    static MappedFile stale() {
        static const unsigned char junk = 0;
        return MappedFile{77, 88, 99, &junk};
    }
    static bool empty(const MappedFile& r) {
        return r.file_handle == 0 && r.mapping_handle == 0 && r.size == 0 && r.view == nullptr;
    }
    fs::path dir_;
};

TEST_F(MapFile, SuccessGivesTheWholeFileAndUnmapEmptiesTheRecord) {
    std::string bytes = "line one\r\nline two\n\x1A tail";
    std::string path = make("data.bin", bytes);
    MappedFile r = stale();
    ASSERT_EQ(map_file(path.c_str(), &r), MAP_OK);
    ASSERT_EQ(r.size, bytes.size());
    EXPECT_EQ(std::memcmp(r.view, bytes.data(), bytes.size()), 0);
    EXPECT_NE(r.file_handle, 0u);
    EXPECT_NE(r.mapping_handle, 0u);
    unmap_file(&r);
    EXPECT_TRUE(empty(r));
    unmap_file(nullptr); // must be harmless
}

TEST_F(MapFile, FailuresReportTheirStepAndLeaveTheRecordEmpty) {
    MappedFile r = stale();
    EXPECT_EQ(map_file((dir_ / "missing").string().c_str(), &r), MAP_ERR_OPEN);
    EXPECT_TRUE(empty(r));

    r = stale();
    EXPECT_EQ(map_file(dir_.string().c_str(), &r), MAP_ERR_OPEN);
    EXPECT_TRUE(empty(r));

    r = stale();
    EXPECT_EQ(map_file(make("empty", "").c_str(), &r), MAP_ERR_MAPPING);
    EXPECT_TRUE(empty(r));
}

TEST_F(MapFile, FileHeldOpenByOurOwnStreamCannotBeMapped) {
    std::string path = make("held.sfv", "contents");
    std::FILE* held = plat_fopen(path.c_str(), "rb");
    ASSERT_NE(held, nullptr);
    MappedFile r = stale();
    EXPECT_EQ(map_file(path.c_str(), &r), MAP_ERR_OPEN);
    EXPECT_TRUE(empty(r));
    plat_fclose(held);
    ASSERT_EQ(map_file(path.c_str(), &r), MAP_OK) << "closing the stream must release the file";
    unmap_file(&r);
}

TEST_F(MapFile, ReleasesEveryHandleOnEveryPath) {
    // Many rounds of every outcome: a leak of descriptors would exhaust them.
    std::string ok = make("ok", "x");
    std::string none = make("none", "");
    for (int i = 0; i < 5000; ++i) {
        MappedFile r;
        ASSERT_EQ(map_file(ok.c_str(), &r), MAP_OK) << "round " << i;
        unmap_file(&r);
        ASSERT_EQ(map_file(none.c_str(), &r), MAP_ERR_MAPPING) << "round " << i;
    }
}

} // namespace
