// What the checksum tests share: the CRC-32 from its definition, and a fresh directory of
// files for each test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "../test_tmp.h"

// The raw register one bit at a time, from the definition alone.
inline std::uint32_t bitwise(std::uint32_t reg, const void* data, std::size_t len) {
    for (std::size_t i = 0; i < len; ++i) {
        reg ^= static_cast<const unsigned char*>(data)[i];
        for (int bit = 0; bit < 8; ++bit)
            reg = (reg & 1) ? (reg >> 1) ^ 0xEDB88320u : reg >> 1;
    }
    return reg;
}

inline std::uint32_t crc_of(const std::string& s) {
    return ~bitwise(0xFFFFFFFFu, s.data(), s.size());
}

class Files : public testing::Test {
  protected:
    void SetUp() override {
        dir_ = test_tmp_root() / ("velmora-unit-" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string make(const std::string& name, const std::string& bytes) {
        std::ofstream((dir_ / name).string(), std::ios::binary) << bytes;
        return (dir_ / name).string();
    }
    std::filesystem::path dir_;
};
