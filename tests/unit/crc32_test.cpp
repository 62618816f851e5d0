// CRC-32 table, bit reflection and the file checksum against known values.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "checksum/crc32.h"
#include "checksum/crc32_kernels.h"
#include "reference_crc.h"

namespace {

class Crc32 : public ::testing::Test {
  protected:
    void SetUp() override { crc_table_init(); }
    std::string write_temp(const std::string& bytes) {
        std::string path =
            (std::filesystem::temp_directory_path() / ("velmora-crc-" + std::to_string(counter_++)))
                .string();
        std::ofstream(path, std::ios::binary) << bytes;
        paths_.push_back(path);
        return path;
    }
    void TearDown() override {
        for (const std::string& p : paths_)
            std::remove(p.c_str());
    }
    std::vector<std::string> paths_;
    int counter_ = 0;
};

TEST_F(Crc32, ReflectBitsReversesOnlyTheLowWidthBits) {
    EXPECT_EQ(reflect_bits(1, 8), 0x80u);
    EXPECT_EQ(reflect_bits(0x1FF, 8), 0xFFu);
    EXPECT_EQ(reflect_bits(0x04C11DB7u, 32), 0xEDB88320u);
    EXPECT_EQ(reflect_bits(0xFFFFFFFFu, 0), 0u);
    EXPECT_EQ(reflect_bits(0x80000000u, 32), 1u);
}

TEST_F(Crc32, TableIsTheStandardReflectedTable) {
    EXPECT_EQ(crc_table[0], 0u);
    EXPECT_EQ(crc_table[1], 0x77073096u);
    EXPECT_EQ(crc_table[128], 0xEDB88320u);
    EXPECT_EQ(crc_table[255], 0x2D02EF8Du);
}

TEST_F(Crc32, FileChecksumMatchesKnownVectorsAndReference) {
    EXPECT_EQ(file_crc32(write_temp("abc").c_str()), 0x352441C2u);
    EXPECT_EQ(file_crc32(write_temp("123456789").c_str()), 0xCBF43926u);
    std::mt19937 gen(7);
    for (std::size_t len : {1u, 4096u, 1000003u}) {
        std::string bytes(len, '\0');
        for (char& c : bytes)
            c = static_cast<char>(gen());
        EXPECT_EQ(file_crc32(write_temp(bytes).c_str()), reference_crc(bytes)) << len;
    }
}

TEST_F(Crc32, UnreadableFilesYieldZero) {
    EXPECT_EQ(file_crc32(write_temp("").c_str()), 0u);
    EXPECT_EQ(file_crc32("/nonexistent/velmora/file"), 0u);
    EXPECT_EQ(file_crc32(std::filesystem::temp_directory_path().string().c_str()), 0u);
    // Four bytes whose CRC-32 is 0 cannot be told from a failure.
    std::string zero_crc = "\x9d\x0a\xd9\x6d";
    ASSERT_EQ(reference_crc(zero_crc), 0u);
    EXPECT_EQ(file_crc32(write_temp(zero_crc).c_str()), 0u);
}

TEST_F(Crc32, RepeatedChecksumsAgreeAndReleaseTheFile) {
    std::string path = write_temp("stable contents");
    std::uint32_t first = file_crc32(path.c_str());
    EXPECT_EQ(file_crc32(path.c_str()), first);
    std::FILE* f = std::fopen(path.c_str(), "r+b");
    ASSERT_NE(f, nullptr) << "file still held after the checksum";
    std::fclose(f);
}

} // namespace
