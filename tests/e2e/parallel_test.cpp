// The checksum workers change nothing a run writes: a tree built and checked with four
// workers gives the report and SFV files of one thread, byte for byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "harness.h"

namespace {

// A tree with every kind of file the checksum treats apart, more files than the queue holds
// at once, and a file large enough to be read in pieces.
void make_tree(const TempDir& dir, const std::string& large) {
    for (int i = 0; i < 150; ++i) {
        std::string name = "many/f";
        name += std::to_string(i);
        dir.write(name, std::string(static_cast<std::size_t>(i % 5), 'x') + name);
    }
    dir.write("many/empty", "");
    dir.write("big/large.bin", large);
    dir.write("big/dunel.sfv", "an older list, open while the new one is written");
    std::filesystem::create_symlink("nowhere", std::filesystem::path(dir.path()) / "dangling");
    dir.write("list.sfv", "big\\large.bin 0\nmany\\f1 0\nmissing 0\nmany\\f1 0\nlist.sfv 0\n");
}

TEST(Parallel, FourWorkersWriteWhatOneThreadWrites) {
    // 20 MiB: mapped and read in three pieces, the last one short.
    std::string large(20u << 20, '\0');
    for (std::size_t i = 0; i < large.size(); ++i)
        large[i] = static_cast<char>((i * 7919) >> 3);
    TempDir one, four;
    make_tree(one, large);
    make_tree(four, large);
    // -o: the report file is held open while it is listed.
    run_velmora(one.path(), {"-r", "-o", "*"}, Output::Captured, Build::Serial);
    run_velmora(four.path(), {"-r", "-o", "*"}, Output::Captured, Build::Parallel);
    for (const char* file : {"dunout.txt", "dunel.sfv", "many/dunel.sfv", "big/dunel.sfv"})
        EXPECT_EQ(four.read(file), one.read(file)) << file;
    EXPECT_NE(four.read("big/dunel.sfv").find("large.bin " + crc_hex(large)), std::string::npos);

    const RunResult check_one =
        run_velmora(one.path(), {"-c=many\\dunel.sfv"}, Output::Captured, Build::Serial);
    EXPECT_EQ(
        run_velmora(four.path(), {"-c=many\\dunel.sfv"}, Output::Captured, Build::Parallel).out,
        check_one.out);
    std::size_t ok = 0;
    for (std::size_t at = 0; (at = check_one.out.find("  OK!", at)) != std::string::npos; ++at)
        ++ok;
    EXPECT_EQ(ok, 150u) << check_one.out;
    EXPECT_EQ(run_velmora(four.path(), {"-c=list.sfv"}, Output::Captured, Build::Parallel).out,
              run_velmora(one.path(), {"-c=list.sfv"}, Output::Captured, Build::Serial).out);
}

} // namespace
