// The CRC-32 and the file checksum: every kernel against a bit-by-bit reference, pieces
// joined by the shift, and the file steps that decide what yields 0.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "../kernel_sweep.h"
#include "checksum/crc32.h"
#include "checksum/crc32_dispatch.h"
#include "checksum/file_checksum.h"
#include "platform/platform.h"
#include "test_files.h"

namespace fs = std::filesystem;

namespace {

class Kernel : public testing::TestWithParam<int> {};

TEST_P(Kernel, GivesTheBitwiseRegister) {
    if (!crc_kernel_supported(GetParam()) && GetParam() > 1) // the portable two run anywhere
        GTEST_SKIP() << crc_kernel_at(GetParam()).name << " cannot run here";
    ASSERT_TRUE(crc_kernel_supported(GetParam()));
    EXPECT_EQ(kernel_sweep(crc_kernel_at(GetParam()).kernel, bitwise), "");
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
        {PLAT_CPU_PCLMUL | PLAT_CPU_VPCLMUL_AVX2, ALL, "vpclmul_avx2"},
        {PLAT_CPU_PCLMUL | PLAT_CPU_VPCLMUL | PLAT_CPU_VPCLMUL_AVX2, ALL, "vpclmul"},
        {PLAT_CPU_PCLMUL | PLAT_CPU_VPCLMUL | PLAT_CPU_VPCLMUL_AVX2, no_vpclmul, "vpclmul_avx2"},
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
        const bool avx2 = pclmul && has("vpclmulqdq") && has("avx2");
        const bool vpclmul = avx2 && has("avx512f") && has("avx512vl") && has("avx512bw");
        expected = vpclmul ? "vpclmul" : avx2 ? "vpclmul_avx2" : pclmul ? "pclmul" : "slice16";
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
        // Taken up again after a while (left open for the caller), it is read as it is now.
        // Where the change was refused (Windows), no file is ever left open so.
        if (refused) {
            plat_close_handle(file);
            continue;
        }
        OpenedFile held{file, st.size, st.mtime};
        ReadBuffer space{};
        CrcResult got{};
        file_checksum_step("", NameCode::Native, PathSeen::Unknown, false, &space, &held, &got);
        EXPECT_EQ(got.crc, crc_of(std::string("0123456789\0", 10 + change)));
        std::free(space.data);
    }
}

} // namespace
