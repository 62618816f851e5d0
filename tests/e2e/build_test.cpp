// Build mode end to end: the SFV files written and the report, byte for byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "harness.h"

namespace {

TEST(Build, TypicalRunThenCheck) {
    TempDir dir;
    dir.write("a.rar", "abc");
    dir.write("b.rar", "123456789");
    dir.write("notes.txt", "not listed");
    RunResult r = run_velmora(dir.path(), {"-f=check.sfv", "*.rar"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, report(build_banner("check.sfv", ".\\", false, "*.rar  ") +
                            "Checking path  --->  .\\\n  (2 files processed)\n\nJob done!\n"));
    EXPECT_EQ(dir.read("check.sfv"), SFV_HEADER + "a.rar 352441C2\r\nb.rar CBF43926\r\n");

    r = run_velmora(dir.path(), {"-c=check.sfv"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, report("Velmora v0.1 - CHECK INFO\n\n[*] SFV file  --->  'check.sfv'\n\n"
                            "a.rar  OK!\nb.rar  OK!\n\nJob done!\n"));
}

TEST(Build, PatternsKeepTheirOrderAndListEachFileOnce) {
    TempDir dir;
    dir.write("b.txt", "b");
    dir.write("a.txt", "a");
    dir.write("z.dat", "z");
    dir.write("c.dat", "c");
    dir.mkdir("d.dat");
    dir.write("empty.dat", "");
    RunResult r = run_velmora(dir.path(), {"*.dat", "*.*", "A.TXT"});
    EXPECT_NE(r.out.find(report("  (5 files processed)\n")), std::string::npos) << r.out;
    // Directories are never listed; an empty file gets the checksum 0.
    EXPECT_EQ(dir.read("dunel.sfv"), SFV_HEADER + "c.dat 06B9DF6F\r\n"
                                                  "empty.dat 00000000\r\n"
                                                  "z.dat 62D277AF\r\n"
                                                  "a.txt E8B7BE43\r\n"
                                                  "b.txt 71BEEFF9\r\n");
}

TEST(Build, SecondRunListsTheOldSfvFileWithChecksumZero) {
    TempDir dir;
    dir.write("a.bin", "abc");
    run_velmora(dir.path(), {"*.*"});
    EXPECT_EQ(dir.read("dunel.sfv"), SFV_HEADER + "a.bin 352441C2\r\n");
    run_velmora(dir.path(), {"*.*"});
    EXPECT_EQ(dir.read("dunel.sfv"), SFV_HEADER + "a.bin 352441C2\r\ndunel.sfv 00000000\r\n");
}

TEST(Build, NothingMatchedLeavesAnOldSfvFileAlone) {
    TempDir dir;
    dir.write("dunel.sfv", "keep me");
    RunResult r = run_velmora(dir.path(), {"*.none", "-p="});
    EXPECT_EQ(r.out, report(build_banner("dunel.sfv", ".\\", false, "*.none  ") +
                            "Checking path  --->  .\\\n  (0 files processed)\n\nJob done!\n"));
    EXPECT_EQ(dir.read("dunel.sfv"), "keep me");
}

TEST(Build, PatternWithDirectoryPartListsBareNamesOfTheBuildDirectory) {
    TempDir dir;
    dir.write("sub/x.dat", "abc");
    dir.write("sub/y.dat", "abc");
    dir.write("y.dat", "123456789");
    run_velmora(dir.path(), {"sub\\*.dat"});
    EXPECT_EQ(dir.read("dunel.sfv"), SFV_HEADER + "x.dat 00000000\r\ny.dat CBF43926\r\n");
}

TEST(Build, NamesKeepTheirCaseAndSpaces) {
    TempDir dir;
    dir.write("My File.TXT", "abc");
    run_velmora(dir.path(), {"my*"});
    EXPECT_EQ(dir.read("dunel.sfv"), SFV_HEADER + "My File.TXT 352441C2\r\n");
}

TEST(Build, AnSfvNameInAnotherLetterCaseIsReused) {
    TempDir dir;
    dir.write("a.txt", "abc");
    dir.write("Check.SFV", "old");
    run_velmora(dir.path(), {"-f=CHECK.sfv", "*.txt"});
    EXPECT_EQ(dir.read("Check.SFV"), SFV_HEADER + "a.txt 352441C2\r\n");
    EXPECT_FALSE(dir.exists("check.sfv"));
}

TEST(BuildFault, SfvFileThatCannotBeCreatedIsReported) {
    TempDir dir;
    dir.write("a.txt", "abc");
    dir.mkdir("out.sfv");
    RunResult r = run_velmora(dir.path(), {"-f=out.sfv", "*.txt"});
    EXPECT_EQ(r.out, report(build_banner("out.sfv", ".\\", false, "*.txt  ") +
                            "Checking path  --->  .\\\nError: cannot create SFV file!\n"
                            "  (1 files processed)\n\nJob done!\n"));
}

TEST(BuildFault, TooManyFilesKeepsTheFirst16384AndSaysSo) {
    TempDir dir;
    for (int i = 0; i < 16385; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "f%05d.bin", i);
        dir.write(name, "");
    }
    RunResult r = run_velmora(dir.path(), {"*.bin", "*.bin"});
    EXPECT_NE(r.out.find(report("Checking path  --->  .\\\n"
                                "Error: too many files, only the first 16384 are listed!\n"
                                "  (16384 files processed)\n")),
              std::string::npos);
    std::string sfv = dir.read("dunel.sfv");
    EXPECT_EQ(sfv.size(), SFV_HEADER.size() + 16384u * 21u);
    EXPECT_EQ(sfv.substr(sfv.size() - 21), "f16383.bin 00000000\r\n");
}

TEST(Tree, DepthFirstPreOrderWithOneSfvPerDirectory) {
    TempDir dir;
    dir.write("root.txt", "abc");
    dir.write("B/b.txt", "abc");
    dir.write("a/a.txt", "123456789");
    dir.write("a/A1/deep.txt", "abc");
    dir.write("a/A1/skip.bin", "abc");
    dir.mkdir("a/empty");
    RunResult r = run_velmora(dir.path(), {"-r", "*.txt"});
    EXPECT_EQ(r.out, report(build_banner("dunel.sfv", ".\\", true, "*.txt  ") +
                            "Checking path  --->  .\\\n  (1 files processed)\n\n"
                            "Checking path  --->  .\\a\\\n  (1 files processed)\n\n"
                            "Checking path  --->  .\\a\\A1\\\n  (1 files processed)\n\n"
                            "Checking path  --->  .\\a\\empty\\\n  (0 files processed)\n\n"
                            "Checking path  --->  .\\B\\\n  (1 files processed)\n\n"
                            "Job done!\n"));
    EXPECT_EQ(dir.read("dunel.sfv"), SFV_HEADER + "root.txt 352441C2\r\n");
    EXPECT_EQ(dir.read("a/dunel.sfv"), SFV_HEADER + "a.txt CBF43926\r\n");
    EXPECT_EQ(dir.read("a/A1/dunel.sfv"), SFV_HEADER + "deep.txt 352441C2\r\n");
    EXPECT_EQ(dir.read("B/dunel.sfv"), SFV_HEADER + "b.txt 352441C2\r\n");
    EXPECT_FALSE(dir.exists("a/empty/dunel.sfv"));
}

TEST(Tree, WithoutPatternsEveryDirectoryReportsZeroAndNothingIsWritten) {
    TempDir dir;
    dir.write("x/y/z.txt", "abc");
    RunResult r = run_velmora(dir.path(), {"/R", "-p=X"});
    EXPECT_EQ(r.out, report(build_banner("dunel.sfv", "x\\", true, "") +
                            "Checking path  --->  x\\\n  (0 files processed)\n\n"
                            "Checking path  --->  x\\y\\\n  (0 files processed)\n\n"
                            "Job done!\n"));
    EXPECT_FALSE(dir.exists("x/dunel.sfv"));
    EXPECT_FALSE(dir.exists("x/y/dunel.sfv"));
}

} // namespace
