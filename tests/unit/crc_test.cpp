// The CRC-32 and the file checksum: every kernel against a bit-by-bit reference, pieces
// joined by the shift, and the file steps that decide what yields 0.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "checksum/crc32.h"
#include "checksum/crc32_dispatch.h"
#include "platform/platform.h"
#include "test_files.h"

namespace fs = std::filesystem;

namespace {

std::vector<unsigned char> random_bytes(std::size_t n, unsigned seed) {
    std::vector<unsigned char> v(n);
    std::generate(v.begin(), v.end(), std::mt19937(seed));
    return v;
}

class Kernel : public testing::TestWithParam<int> {};

// Lengths around every lane, block and cut-off of the kernels, from the preset register and
// from one left by earlier data, at every alignment for the short ones.
TEST_P(Kernel, GivesTheBitwiseRegister) {
    if (!crc_kernel_supported(GetParam()) && GetParam() > 1) // the portable two run anywhere
        GTEST_SKIP() << crc_kernel_at(GetParam()).name << " cannot run here";
    ASSERT_TRUE(crc_kernel_supported(GetParam()));
    const CrcKernel kernel = crc_kernel_at(GetParam()).kernel;
    const std::vector<unsigned char> buf = random_bytes(9 * 4096 + 128, 2);
    std::vector<std::size_t> lengths;
    for (std::size_t len = 0; len <= 600; ++len)
        lengths.push_back(len);
    for (std::size_t block : {64u, 256u, 512u, 1536u, 4096u})
        for (std::size_t centre = block; centre <= 9 * block; centre += block)
            for (std::size_t len = centre - 17; len <= centre + 17; ++len)
                lengths.push_back(len);
    for (std::size_t offset = 0; offset < 64; ++offset) {
        for (std::size_t len : lengths) {
            for (std::uint32_t reg : {0xFFFFFFFFu, 0x1234ABCDu})
                ASSERT_EQ(kernel(reg, buf.data() + offset, len),
                          bitwise(reg, buf.data() + offset, len))
                    << "length " << len << " offset " << offset;
            if (offset != 0 && offset != 5 && len > 200) // one odd offset takes every length
                break;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(All, Kernel, testing::Range(0, crc_kernel_count()),
                         [](const testing::TestParamInfo<int>& info) {
                             return std::string(crc_kernel_at(info.param).name);
                         });

int kernel_index(const char* name) {
    for (int i = 0; i < crc_kernel_count(); ++i)
        if (std::string(crc_kernel_at(i).name) == name)
            return i;
    return -1;
}

// The most capable kernel that both the processor and the build allow, whatever the
// processor family this test runs on.
TEST(Crc, TheKernelPickedIsTheBestBothAllow) {
    constexpr unsigned ALL = ~0u;
    constexpr unsigned ARM = PLAT_CPU_CRC32 | PLAT_CPU_PMULL | PLAT_CPU_SHA3;
    const unsigned no_arm = ALL & ~((1u << kernel_index("crc32x")) | (1u << kernel_index("pmull")) |
                                    (1u << kernel_index("pmull_eor3")));
    const unsigned no_vpclmul = ALL & ~(1u << kernel_index("vpclmul"));
    const struct {
        unsigned features;
        unsigned built;
        const char* expected;
    } rows[] = {
        {0, ALL, "slice16"},
        {PLAT_CPU_PCLMUL, ALL, "pclmul"},
        {PLAT_CPU_VPCLMUL, ALL, "slice16"}, // the wide kernel needs the narrow one's set too
        {PLAT_CPU_PCLMUL | PLAT_CPU_VPCLMUL, ALL, "vpclmul"},
        {PLAT_CPU_PCLMUL | PLAT_CPU_VPCLMUL, no_vpclmul, "pclmul"},
        {PLAT_CPU_PCLMUL | PLAT_CPU_VPCLMUL, 0, "slice16"},
        {PLAT_CPU_CRC32, ALL, "crc32x"},
        {PLAT_CPU_PMULL, ALL, "slice16"}, // its last lane is reduced by the CRC32 instructions
        {PLAT_CPU_CRC32 | PLAT_CPU_PMULL, ALL, "pmull"},
        {PLAT_CPU_CRC32 | PLAT_CPU_SHA3, ALL, "crc32x"},
        {ARM, ALL, "pmull_eor3"},
        {ARM, no_arm, "slice16"},
        {ARM | PLAT_CPU_PCLMUL, no_arm, "pclmul"},
    };
    for (const auto& row : rows)
        EXPECT_STREQ(crc_kernel_at(crc_pick_kernel(row.features, row.built)).name, row.expected)
            << "features " << row.features << " built " << row.built;
}

// The kernel this processor runs: named by VELMORA_EXPECT_KERNEL where the caller knows
// (an emulated processor), otherwise on x86-64 learned from the system's own list of flags.
TEST(Crc, TheBestKernelTheProcessorRunsIsPicked) {
    std::string expected;
    if (const char* named = std::getenv("VELMORA_EXPECT_KERNEL")) {
        expected = named;
    } else {
#if defined(__x86_64__)
        std::ifstream cpuinfo("/proc/cpuinfo");
        std::string flags;
        while (std::getline(cpuinfo, flags) && flags.rfind("flags", 0) != 0) {
        }
        if (flags.empty())
            GTEST_SKIP() << "no processor flags here";
        flags += ' ';
        auto has = [&](std::string f) { return flags.find(' ' + (f += ' ')) != flags.npos; };
        const bool pclmul = has("pclmulqdq") && has("sse4_1");
        const bool vpclmul =
            pclmul && has("vpclmulqdq") && has("avx512f") && has("avx512vl") && has("avx512bw");
        expected = vpclmul ? "vpclmul" : pclmul ? "pclmul" : "slice16";
#else
        GTEST_SKIP() << "set VELMORA_EXPECT_KERNEL to check the choice here";
#endif
    }
    EXPECT_EQ(crc_kernel_name(), expected);
}

TEST_F(Files, AFileThatChangedSizeIsNotReadAsIfWhole) {
    for (long change : {-1L, +1L}) {
        const std::string path = make("f", "0123456789");
        PlatHandle file = 0;
        FileStamp st{};
        FileFault fault{};
        ASSERT_EQ(plat_open_exclusive(path.c_str(), false, &file, &st, &fault), OpenResult::Opened);
        std::error_code refused; // where the exclusive open keeps others from changing it
        fs::resize_file(path, static_cast<std::uintmax_t>(10 + change), refused);
        unsigned char buffer[16];
        EXPECT_EQ(plat_read_file(file, false, buffer, sizeof buffer, st.size) == ReadResult::Whole,
                  bool(refused))
            << change;
        plat_close_handle(file);
    }
}

} // namespace
