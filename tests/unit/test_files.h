// What the checksum tests share: the CRC-32 from its definition, and a fresh directory of
// files for each test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "../crc_reference.h"
#include "../test_tmp.h"

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
