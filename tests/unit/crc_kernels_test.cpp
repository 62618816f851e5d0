// Every CRC-32 kernel the processor supports against the bytewise loop (wrong folding
// constants show up here too), the dispatch, and a checksum of a file past 4 GiB.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "checksum/crc32.h"
#include "checksum/crc32_kernels.h"

namespace {

std::vector<unsigned char> random_bytes(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::vector<unsigned char> v(n);
    for (unsigned char& c : v)
        c = static_cast<unsigned char>(gen());
    return v;
}

class Kernel : public ::testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        crc_table_init();
        if (!crc_kernel_supported(GetParam()))
            GTEST_SKIP() << crc_kernel_at(GetParam()).name
                         << " is not supported by this processor or build";
        kernel_ = crc_kernel_at(GetParam()).kernel;
    }

    // Compares the kernel with the bytewise loop from two different starting registers.
    void expect_same(const unsigned char* data, std::size_t len, const char* what) {
        for (std::uint32_t reg : {0xFFFFFFFFu, 0x1234ABCDu}) {
            ASSERT_EQ(kernel_(reg, data, len), crc32_bytewise(reg, data, len))
                << what << ": length " << len << ", register " << std::hex << reg;
        }
    }

    CrcKernel kernel_ = nullptr;
};

TEST_P(Kernel, ShortLengthsBlockEdgesAndAlignments) {
    const std::vector<unsigned char> buf = random_bytes(9 * 4096 + 128, 2);
    for (std::size_t len = 0; len <= 1024; ++len)
        ASSERT_NO_FATAL_FAILURE(expect_same(buf.data(), len, "short"));
    // Lane, block, wide-vector and eight-vector sizes, and the kernels' short-input cut-offs.
    for (std::size_t block : {16u, 64u, 256u, 512u, 4096u}) {
        for (std::size_t centre = block; centre <= 9 * block; centre += block) {
            for (std::size_t len = centre > 17 ? centre - 17 : 0; len <= centre + 17; ++len)
                ASSERT_NO_FATAL_FAILURE(expect_same(buf.data(), len, "block"));
        }
    }
    for (std::size_t offset = 0; offset < 64; ++offset) {
        for (std::size_t len : {1u, 63u, 64u, 255u, 511u, 1500u, 6000u})
            ASSERT_NO_FATAL_FAILURE(expect_same(buf.data() + offset, len, "aligned"));
    }
}

TEST_P(Kernel, LargeBuffersWholeAndInPieces) {
    for (unsigned seed = 10; seed < 13; ++seed) {
        std::mt19937 gen(seed);
        const std::size_t len = (1u << 20) + gen() % (3u << 20);
        const std::vector<unsigned char> buf = random_bytes(len, seed);
        const std::uint32_t whole = crc32_bytewise(0xFFFFFFFFu, buf.data(), len);
        EXPECT_EQ(kernel_(0xFFFFFFFFu, buf.data(), len), whole) << len;
        // Resuming from the register after each piece gives the whole buffer's register.
        std::uint32_t reg = 0xFFFFFFFFu;
        for (std::size_t pos = 0; pos < len;) {
            const std::size_t piece = std::min<std::size_t>(len - pos, gen() % 70000);
            reg = kernel_(reg, buf.data() + pos, piece);
            pos += piece;
        }
        EXPECT_EQ(reg, whole) << len;
    }
}

// Every kernel but the reference itself.
std::vector<int> kernels_under_test() {
    std::vector<int> indices;
    for (int i = 0; i < crc_kernel_count(); ++i) {
        if (crc_kernel_at(i).kernel != crc32_bytewise)
            indices.push_back(i);
    }
    return indices;
}

INSTANTIATE_TEST_SUITE_P(All, Kernel, ::testing::ValuesIn(kernels_under_test()),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(crc_kernel_at(info.param).name);
                         });

TEST(KernelDispatch, PicksTheMostCapableAndCanBeForced) {
    crc_table_init();
    int best = 0;
    for (int i = 0; i < crc_kernel_count(); ++i)
        best = crc_kernel_supported(i) ? i : best;
    EXPECT_STREQ(crc_kernel_name(), crc_kernel_at(best).name);
    EXPECT_FALSE(crc_force_kernel("no-such-kernel"));
    const std::vector<unsigned char> buf = random_bytes(100000, 6);
    const std::uint32_t expected = crc32_bytewise(0xFFFFFFFFu, buf.data(), buf.size());
    for (int i = 0; i < crc_kernel_count(); ++i) {
        const char* name = crc_kernel_at(i).name;
        ASSERT_EQ(crc_force_kernel(name), crc_kernel_supported(i)) << name;
        if (crc_kernel_supported(i)) {
            EXPECT_EQ(crc32_update(0xFFFFFFFFu, buf.data(), buf.size()), expected) << name;
        }
    }
    crc_table_init();
    EXPECT_STREQ(crc_kernel_name(), crc_kernel_at(best).name);
}

TEST(LargeFile, SparseFilePast4GiBIsChecksummedWhole) {
    if (sizeof(std::size_t) < 8)
        GTEST_SKIP() << "a 32-bit process cannot map the file whole";
    crc_table_init();
    namespace fs = std::filesystem;
    // Other test processes share the temporary directory.
    const fs::path path =
        fs::temp_directory_path() / ("velmora-sparse-4g-" + std::to_string(std::random_device{}()));
    const std::uint64_t size = (std::uint64_t{1} << 32) + 4099;
    {
        std::ofstream out(path, std::ios::binary);
        ASSERT_TRUE(out) << "cannot create " << path;
        out << "head";
    }
    std::error_code ec;
    fs::resize_file(path, size, ec);
    if (ec) {
        fs::remove(path);
        GTEST_SKIP() << "the filesystem refuses a sparse file of " << size << " bytes";
    }
    // Data on both sides of the 4 GiB mark, so a count cut to 32 bits misses some.
    {
        std::fstream io(path, std::ios::binary | std::ios::in | std::ios::out);
        io.seekp(static_cast<std::streamoff>((std::uint64_t{1} << 32) - 2));
        io << "mark";
        io.seekp(static_cast<std::streamoff>(size - 3));
        io << "end";
        ASSERT_TRUE(io) << "cannot write into the sparse file";
    }
    std::uint32_t reg = 0xFFFFFFFFu;
    {
        std::ifstream in(path, std::ios::binary);
        std::vector<char> chunk(1 << 20);
        std::uint64_t total = 0;
        while (in.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) ||
               in.gcount() > 0) {
            const std::size_t got = static_cast<std::size_t>(in.gcount());
            reg = crc32_slice16(reg, reinterpret_cast<const unsigned char*>(chunk.data()), got);
            total += got;
        }
        ASSERT_EQ(total, size);
    }
    const std::uint32_t whole = file_crc32(path.string().c_str());
    fs::remove(path);
    EXPECT_EQ(whole, reg ^ 0xFFFFFFFFu);
}

} // namespace
