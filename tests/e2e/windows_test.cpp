// Faults the Windows file system invites, end to end. Each test runs on both platforms where
// both can show the fault.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "harness.h"

namespace {

TEST(WindowsNames, NamesOutsideTheCodePageAreSkippedAndNamed) {
    if (!windows_program())
        GTEST_SKIP() << "POSIX takes these names as their UTF-8 bytes";
    TempDir dir;
    // Under Wine the UTF-8 names below are these Unicode names; the code page is 1252.
    for (const char* name : {"a.txt", "\xEF\xBD\x81.txt", "\xC4\x81.txt", "\xC3\xA9.txt",
                             "\xD0\xB6.txt", "\xD1\x8F.txt", "secret.txt"})
        dir.write(std::string("in/") + name, name);
    dir.write("in/sub/..\xEF\xBC\xBCsecret.txt", "x"); // a fullwidth backslash
    dir.write("in/sub/..\xEF\xBC\xBC../f.txt", "f");
    dir.write("in/\xD0\xB6/f.txt", "f");
    RunResult r = run_velmora(dir.path(), {"-r", "-p=in", "*.txt"});
    EXPECT_EQ(r.status, 0);
    // Best-fit would have made the fullwidth a and the a with macron into "a.txt".
    EXPECT_EQ(dir.read("in/dunel.sfv"), SFV_HEADER + "a.txt " + crc_hex("a.txt") +
                                            "\r\nsecret.txt " + crc_hex("secret.txt") +
                                            "\r\n\xE9.txt " + crc_hex("\xC3\xA9.txt") + "\r\n");
    const std::string skipped = "Error: file name not supported, skipped: in\\";
    EXPECT_EQ(lines_starting(r.out, "Error:"),
              (std::vector<std::string>{skipped + "?.txt", skipped + "?.txt", skipped + "?.txt",
                                        skipped + "?.txt", skipped + "sub\\..?secret.txt",
                                        skipped + "sub\\..?..", skipped + "?"}));
    // Neither the parent's secret.txt nor a walk up out of the tree.
    EXPECT_FALSE(dir.exists("in/sub/dunel.sfv"));
    EXPECT_FALSE(dir.exists("dunel.sfv"));
}

TEST(WindowsNames, FilesAreOpenedUnderTheirExactNames) {
    TempDir dir;
    for (const char* name : {"a.txt", "a.txt.", "a.txt ", "b.txt.", "x./in.txt"})
        dir.write(name, name);
    RunResult r = run_velmora(dir.path(), {"-r", "*.*"});
    EXPECT_EQ(dir.read("dunel.sfv"), SFV_HEADER + "a.txt " + crc_hex("a.txt") + "\r\na.txt  " +
                                         crc_hex("a.txt ") + "\r\na.txt. " + crc_hex("a.txt.") +
                                         "\r\nb.txt. " + crc_hex("b.txt.") + "\r\n");
    // Win32 path rules would enter "x" for "x.": the walk does not go there.
    EXPECT_EQ(lines_starting(r.out, "Error:"),
              windows_program()
                  ? std::vector<std::string>{"Error: file name not supported, skipped: .\\x."}
                  : std::vector<std::string>{});
    // Device names as patterns match nothing on disk.
    r = run_velmora(dir.path(), {"-f=dev.sfv", "nul", "con.txt", "aux.c"});
    EXPECT_NE(r.out.find(report("  (0 files processed)\n")), std::string::npos) << r.out;
    EXPECT_FALSE(dir.exists("dev.sfv"));
}

TEST(WindowsNames, EntriesBeginningWithTwoSeparatorsAreMissingUnopened) {
    TempDir dir;
    dir.write("a.txt", "abc");
    // a.txt by an absolute path behind two separators: "\\?\" on Windows, "//" on POSIX.
    std::string local = dir.path();
    if (windows_program()) {
        for (char& c : local)
            c = c == '/' ? '\\' : c;
        local = "\\\\?\\Z:" + local + "\\a.txt";
    } else {
        local = "/" + local + "/a.txt";
    }
    const std::string mixed = "/\\" + local.substr(2);
    dir.write("l.sfv", local + " 352441C2\n" + mixed + " 352441C2\na.txt 352441C2\n");
    EXPECT_EQ(run_velmora(dir.path(), {"-c=l.sfv"}).out,
              check_report("l.sfv", local + "  Missing\n" + mixed + "  Missing\na.txt  OK!\n\n"));
    // An SFV file the user reached that way has its entries checked as usual.
    RunResult r = run_velmora(dir.path(), {"-c=" + local.substr(0, local.size() - 5) + "l.sfv"});
    EXPECT_NE(r.out.find(report("\na.txt  OK!\n")), std::string::npos) << r.out;
}

TEST(FaultRead, FileCutShortWhileReadYieldsZeroAndTheRunGoesOn) {
    TempDir dir;
    dir.write("z.txt", "abc");
    const std::string big = dir.path() + "/a.bin";
    const off_t size = off_t{512} << 20;
    const std::string cut = crc_hex(std::string(1000, '\0'));
    dir.write("a.bin", "");
    ASSERT_EQ(truncate(big.c_str(), size), 0);
    auto start = std::chrono::steady_clock::now();
    run_velmora(dir.path(), {"*.bin", "*.txt"});
    const auto took = std::chrono::steady_clock::now() - start;
    // The listed checksum of a.bin, the first entry.
    auto listed = [&] { return dir.read("dunel.sfv").substr(SFV_HEADER.size() + 6, 8); };
    const std::string whole = listed();
    // Cut at delays across a whole run: before the file is opened the short file's checksum
    // is listed, while it is read 0, after it the whole file's. Only the middle case counts.
    bool cut_while_read = false;
    for (int step = 0; step < 60 && !cut_while_read; ++step) {
        ASSERT_EQ(truncate(big.c_str(), size), 0);
        std::thread cutter([&] {
            std::this_thread::sleep_for(took * (step % 20) / 20);
            truncate(big.c_str(), 1000);
        });
        RunResult r = run_velmora(dir.path(), {"*.bin", "*.txt"});
        cutter.join();
        ASSERT_EQ(r.status, 0) << "step " << step << "\n" << r.out;
        ASSERT_NE(r.out.find(report("  (2 files processed)\n\nJob done!\n")), std::string::npos);
        const std::string crc = listed();
        ASSERT_TRUE(crc == cut || crc == "00000000" || crc == whole) << crc;
        ASSERT_EQ(dir.read("dunel.sfv"), SFV_HEADER + "a.bin " + crc + "\r\nz.txt 352441C2\r\n");
        cut_while_read = crc == "00000000";
    }
    EXPECT_TRUE(cut_while_read) << "no cut landed while the file was read";
}

} // namespace
