// Faults and limits end to end: a full disk, directory cycles, trees deeper than the working
// path, every buffer at and just past its size, odd bytes, and files that may not be read.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "harness.h"

namespace fs = std::filesystem;

namespace {

// Runs the program with a file-size limit of limit bytes and SIGXFSZ ignored; both pass to
// the child through exec, so its writes past the limit fail with an error instead of killing
// it. The test process gets its own limit and disposition back afterwards.
RunResult run_with_file_size_limit(const std::string& dir, const std::vector<std::string>& args,
                                   rlim_t limit) {
    struct rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    struct sigaction ignore = {};
    struct sigaction old_action = {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &old_action);
    struct rlimit small = saved;
    small.rlim_cur = limit;
    setrlimit(RLIMIT_FSIZE, &small);
    RunResult r = run_velmora(dir, args);
    setrlimit(RLIMIT_FSIZE, &saved);
    sigaction(SIGXFSZ, &old_action, nullptr);
    return r;
}

TEST(FaultDisk, FullDiskWhileWritingLeavesNoSfvFileAndSaysSo) {
    if (windows_program())
        GTEST_SKIP() << "a file-size limit would stop the runner's own files too";
    TempDir dir;
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"})
        dir.write(name, name);
    // Room for the header and part of the first entry only, then every write fails.
    for (rlim_t limit : {rlim_t{0}, rlim_t{40}}) {
        RunResult r = run_with_file_size_limit(dir.path(), {"*.txt"}, limit);
        EXPECT_EQ(r.status, 0) << limit;
        EXPECT_EQ(r.out, report(build_banner("dunel.sfv", ".\\", false, "*.txt  ") +
                                "Checking path  --->  .\\\nError: cannot write SFV file!\n"
                                "  (4 files processed)\n\nJob done!\n"))
            << limit;
        EXPECT_FALSE(dir.exists("dunel.sfv")) << "a cut SFV file was left behind, limit " << limit;
    }
    // With room enough the same run writes the whole file.
    RunResult r = run_with_file_size_limit(dir.path(), {"*.txt"}, 4096);
    EXPECT_EQ(r.out.find("Error"), std::string::npos);
    EXPECT_EQ(dir.read("dunel.sfv"), SFV_HEADER + "a.txt " + crc_hex("a.txt") + "\r\nb.txt " +
                                         crc_hex("b.txt") + "\r\nc.txt " + crc_hex("c.txt") +
                                         "\r\nd.txt " + crc_hex("d.txt") + "\r\n");
}

TEST(FaultTree, LinksBackUpTheTreeEndTheWalkWithEachDirectoryBuiltOnce) {
    TempDir dir;
    dir.write("top.txt", "t");
    dir.write("a/a.txt", "a");
    dir.write("a/b/b.txt", "b");
    // A link to the chosen directory, one to a parent and one to the directory itself.
    fs::create_directory_symlink("../..", fs::path(dir.path()) / "a/b/up2");
    fs::create_directory_symlink("..", fs::path(dir.path()) / "a/b/up1");
    fs::create_directory_symlink(".", fs::path(dir.path()) / "a/self");
    RunResult r = run_velmora(dir.path(), {"-r", "*.txt"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(lines_starting(r.out, "Checking path"),
              (std::vector<std::string>{"Checking path  --->  .\\", "Checking path  --->  .\\a\\",
                                        "Checking path  --->  .\\a\\b\\"}));
    EXPECT_EQ(lines_starting(r.out, "Job done!").size(), 1u);
    EXPECT_EQ(dir.read("a/b/dunel.sfv"), SFV_HEADER + "b.txt " + crc_hex("b") + "\r\n");
}

TEST(FaultTree, DirectoriesPastTheWorkingPathAreSkippedAndNamed) {
    TempDir dir;
    // ".\" and then levels of 59 characters and a backslash: the fourth level's path takes
    // 242 characters, the fifth would take 302 of the 299 the working path holds.
    const std::string seg(59, 's');
    std::string rel;
    std::string shown = ".\\";
    std::vector<std::string> expected;
    for (int level = 0; level < 4; ++level) {
        expected.push_back("Checking path  --->  " + shown);
        rel += (level ? "/" : "") + seg;
        shown += seg + "\\";
    }
    expected.push_back("Checking path  --->  " + shown);
    dir.write(rel + "/deep.txt", "deep");
    dir.write(rel + "/" + seg + "/deeper.txt", "deeper");
    // A sibling after the skipped one is still walked.
    dir.mkdir(rel.substr(0, rel.size() - seg.size()) + "t");

    RunResult r = run_velmora(dir.path(), {"-r", "*.txt"});
    EXPECT_EQ(r.status, 0);
    std::vector<std::string> built = lines_starting(r.out, "Checking path");
    ASSERT_EQ(built.size(), 6u) << r.out;
    EXPECT_EQ(std::vector<std::string>(built.begin(), built.begin() + 5), expected);
    EXPECT_EQ(built[5],
              "Checking path  --->  " + shown.substr(0, shown.size() - seg.size() - 1) + "t\\");
    EXPECT_EQ(lines_starting(r.out, "Error:"),
              std::vector<std::string>{"Error: path too long, skipped: " + shown + seg});
    EXPECT_EQ(dir.read(rel + "/dunel.sfv"), SFV_HEADER + "deep.txt " + crc_hex("deep") + "\r\n");
    EXPECT_FALSE(dir.exists(rel + "/" + seg + "/dunel.sfv"));
}

TEST(LimitPaths, BuildPathsOf299FitAnd300Or301ReadAsUnreadable) {
    TempDir dir;
    // The build directory takes 200 characters with its backslashes.
    const std::string d1(100, 'x');
    const std::string d2(98, 'y');
    const std::string shown = d1 + "\\" + d2 + "\\";
    ASSERT_EQ(shown.size(), 200u);
    std::string sfv = SFV_HEADER;
    for (std::size_t len : {99u, 100u, 101u}) {
        std::string name(len, 'n');
        dir.write(d1 + "/" + d2 + "/" + name, name);
        // Only the 299-character path can be read; the others do not fit and count as
        // unreadable files.
        sfv += name + " " + (len == 99 ? crc_hex(name) : "00000000") + "\r\n";
    }
    RunResult r = run_velmora(dir.path(), {"-p=" + shown, "*"});
    EXPECT_NE(r.out.find(report("Checking path  --->  " + shown + "\n  (3 files processed)\n")),
              std::string::npos)
        << r.out;
    EXPECT_EQ(dir.read(d1 + "/" + d2 + "/dunel.sfv"), sfv);
}

TEST(LimitPaths, CheckNamesAndJoinedPathsAtTheBufferSize) {
    TempDir dir;
    const std::string d(200, 'd');
    const std::string f58(58, 'f');
    // Names of 259, 260 and 261 characters, each naming an existing file below d.
    dir.write(d + "/" + f58, "1");
    dir.write(d + "/" + f58 + "f", "2");
    dir.write(d + "/" + f58 + "ff", "3");
    std::string sfv = d + "\\" + f58 + " " + crc_hex("1") + "\n" +  // 259: fits, checked
                      d + "\\" + f58 + "f " + crc_hex("2") + "\n" + // 260: no room for the path
                      d + "\\" + f58 + "ff " + crc_hex("3") + "\n"; // 261: split after 260
    dir.write("names.sfv", sfv);
    RunResult r = run_velmora(dir.path(), {"-c=names.sfv"});
    EXPECT_EQ(r.out,
              check_report("names.sfv", d + "\\" + f58 + "  OK!\n" + d + "\\" + f58 +
                                            "f  Missing\n" + d + "\\" + f58 + "f  Missing\n\n"));

    // The SFV file's directory and a name together at 259, 260 and 261 characters.
    const std::string s(150, 's');
    dir.write(s + "/" + std::string(108, 'a'), "a");
    dir.write(s + "/" + std::string(109, 'b'), "b");
    dir.write(s + "/" + std::string(110, 'c'), "c");
    dir.write(s + "/j.sfv", std::string(108, 'a') + " " + crc_hex("a") + "\n" +
                                std::string(109, 'b') + " " + crc_hex("b") + "\n" +
                                std::string(110, 'c') + " " + crc_hex("c") + "\n");
    r = run_velmora(dir.path(), {"-c=" + s + "\\j.sfv"});
    EXPECT_EQ(r.out, check_report(s + "\\j.sfv", std::string(108, 'a') + "  OK!\n" +
                                                     std::string(109, 'b') + "  Missing\n" +
                                                     std::string(110, 'c') + "  Missing\n\n"));
}

TEST(LimitBytes, HighBytesInNamesAndPatternsAreTakenAsThey) {
    if (windows_program())
        GTEST_SKIP() << "the runner translates bytes of 0x80 and above through a code page";
    TempDir dir;
    dir.write("\xE9t\xE9.txt", "e");
    dir.write("\xC9T\xC9.TXT", "E");
    dir.write("\xFF", "ff");
    RunResult r = run_velmora(dir.path(), {"\xE9*", "*\xFF"});
    // Only ASCII letters fold: 0xC9 and 0xE9 stay different bytes.
    EXPECT_NE(r.out.find(report("[*] Pattern    --->  \xE9*  *\xFF  \n")), std::string::npos);
    EXPECT_EQ(dir.read("dunel.sfv"),
              SFV_HEADER + "\xE9t\xE9.txt " + crc_hex("e") + "\r\n\xFF " + crc_hex("ff") + "\r\n");
    EXPECT_EQ(run_velmora(dir.path(), {"-c=dunel.sfv"}).out,
              check_report("dunel.sfv", "\xE9t\xE9.txt  OK!\n\xFF  OK!\n\n"));
}

// Runs the program while a watchdog stands by: should the run still be going after a few
// seconds, it is stuck opening the named pipe at fifo, and the watchdog opens the pipe itself
// for a moment so that the run can end. *had_to_unblock tells whether that was needed.
RunResult run_watching_pipe(const std::string& dir, const std::vector<std::string>& args,
                            const std::string& fifo, bool* had_to_unblock) {
    std::atomic<bool> done{false};
    std::atomic<bool> unblocked{false};
    std::thread watchdog([&] {
        for (int tick = 0; tick < 100 && !done.load(); ++tick)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        while (!done.load()) {
            unblocked.store(true);
            int fd = open(fifo.c_str(), O_RDWR | O_NONBLOCK);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (fd >= 0)
                close(fd);
        }
    });
    RunResult r = run_velmora(dir, args);
    done.store(true);
    watchdog.join();
    *had_to_unblock = unblocked.load();
    return r;
}

TEST(FaultPipe, NamedPipesNeverBlockBuildOrCheck) {
    if (windows_program())
        GTEST_SKIP() << "named pipes of this kind exist only on the native system";
    TempDir dir;
    dir.write("a.txt", "abc");
    std::string fifo = dir.path() + "/pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    bool stuck = false;

    // Listed like any entry that is not a directory, but never opened for its checksum.
    RunResult r = run_watching_pipe(dir.path(), {"*.*"}, fifo, &stuck);
    EXPECT_FALSE(stuck) << "the build waited on the pipe";
    EXPECT_NE(r.out.find(report("  (2 files processed)\n")), std::string::npos) << r.out;
    EXPECT_EQ(dir.read("dunel.sfv"),
              SFV_HEADER + "a.txt " + crc_hex("abc") + "\r\npipe 00000000\r\n");

    // An entry naming the pipe is Missing; the pipe as the SFV file is a missing SFV file.
    r = run_watching_pipe(dir.path(), {"-c=dunel.sfv"}, fifo, &stuck);
    EXPECT_FALSE(stuck) << "the check waited on a listed pipe";
    EXPECT_EQ(r.out, check_report("dunel.sfv", "a.txt  OK!\npipe  Missing\n\n"));
    r = run_watching_pipe(dir.path(), {"-c=pipe"}, fifo, &stuck);
    EXPECT_FALSE(stuck) << "the check waited on the pipe as its SFV file";
    EXPECT_EQ(r.out, check_report("pipe", "Error: SFV file missing!\n\n"));
    // The pipe as the SFV file to write: nothing is written into it.
    r = run_watching_pipe(dir.path(), {"-f=pipe", "a.txt"}, fifo, &stuck);
    EXPECT_FALSE(stuck) << "the build waited on the pipe as its SFV file";
    EXPECT_NE(r.out.find(report("Error: cannot create SFV file!\n")), std::string::npos) << r.out;
    // A pipe where the report file goes: the report stays on the console.
    fs::rename(fifo, dir.path() + "/dunout.txt");
    r = run_watching_pipe(dir.path(), {"-o", "-c=none.sfv"}, dir.path() + "/dunout.txt", &stuck);
    EXPECT_FALSE(stuck) << "the redirection waited on the pipe";
    EXPECT_EQ(r.out, report("Error: cannot create 'dunout.txt'!\n") +
                         check_report("none.sfv", "Error: SFV file missing!\n\n"));
}

TEST(FaultAccess, FilesAndDirectoriesThatMayNotBeRead) {
    if (geteuid() == 0)
        GTEST_SKIP() << "running as root, which may read every file whatever its permissions";
    TempDir dir;
    dir.write("a.txt", "abc");
    dir.write("locked.txt", "secret");
    dir.write("closed/in.txt", "in");
    dir.write("open/o.txt", "o");
    fs::permissions(fs::path(dir.path()) / "locked.txt", fs::perms::none);
    fs::permissions(fs::path(dir.path()) / "closed", fs::perms::none);

    // Build: the unreadable file is listed with 00000000; the closed directory lists nothing
    // and the walk goes on to its sibling.
    RunResult r = run_velmora(dir.path(), {"-r", "*.txt"});
    EXPECT_EQ(dir.read("dunel.sfv"),
              SFV_HEADER + "a.txt " + crc_hex("abc") + "\r\nlocked.txt 00000000\r\n");
    EXPECT_EQ(
        lines_starting(r.out, "Checking path"),
        (std::vector<std::string>{"Checking path  --->  .\\", "Checking path  --->  .\\closed\\",
                                  "Checking path  --->  .\\open\\"}));
    EXPECT_EQ(dir.read("open/dunel.sfv"), SFV_HEADER + "o.txt " + crc_hex("o") + "\r\n");

    // Check: the unreadable file is Missing; an unreadable SFV file is a missing one.
    dir.write("list.sfv", "a.txt " + crc_hex("abc") + "\nlocked.txt " + crc_hex("secret") + "\n");
    EXPECT_EQ(run_velmora(dir.path(), {"-c=list.sfv"}).out,
              check_report("list.sfv", "a.txt  OK!\nlocked.txt  Missing\n\n"));
    fs::permissions(fs::path(dir.path()) / "list.sfv", fs::perms::none);
    EXPECT_EQ(run_velmora(dir.path(), {"-c=list.sfv"}).out,
              check_report("list.sfv", "Error: SFV file missing!\n\n"));
}

} // namespace

namespace {

// "d<i>/" + name; built by appending, which GCC 12's -Wrestrict does not misread.
std::string in_dir(int i, const char* name) {
    std::string path = "d";
    path += std::to_string(i);
    path += '/';
    path += name;
    return path;
}

TEST(FaultOutput, ReaderGoneLeavesNoDirectoryUnbuilt) {
    TempDir dir;
    // Far more report than any pipe or stream buffer holds.
    for (int i = 0; i < 400; ++i)
        dir.write(in_dir(i, "f.bin"), "abc");
    RunResult r = run_velmora(dir.path(), {"-r", "*.bin"}, Output::ReaderGone);
    EXPECT_EQ(r.status, 0);
    for (int i = 0; i < 400; ++i)
        ASSERT_EQ(dir.read(in_dir(i, "dunel.sfv")), SFV_HEADER + "f.bin 352441C2\r\n")
            << "directory " << i;
}

TEST(FaultOutput, ClosedStandardOutputLosesNeitherReportFileNorSfvFile) {
    if (windows_program())
        GTEST_SKIP() << "the runner gives the Windows program standard handles of its own";
    TempDir dir;
    dir.write("a.bin", "abc");
    run_velmora(dir.path(), {"-o", "*.bin"});
    const std::string expected = dir.read("dunout.txt");
    RunResult r = run_velmora(dir.path(), {"-o", "*.bin"}, Output::Closed);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(dir.read("dunout.txt"), expected);
    // Without -o the SFV file must not become standard output either.
    for (int i = 0; i < 300; ++i)
        dir.write(in_dir(i, "f.bin"), "abc");
    r = run_velmora(dir.path(), {"-r", "*.bin"}, Output::Closed);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(dir.read("d7/dunel.sfv"), SFV_HEADER + "f.bin 352441C2\r\n");
}

TEST(FaultNames, NamesThePathsCannotHoldAreSkippedAndNamed) {
    TempDir dir;
    dir.write("a\\b.txt", "abc");
    dir.write("a/b.txt", "xyz");
    dir.write("x\ny.txt", "abc");
    dir.write("y.txt", "123456789");
    dir.write("tab\tdir/in.txt", "abc");
    RunResult r = run_velmora(dir.path(), {"-r", "*.txt", "*"});
    EXPECT_EQ(r.out, report(build_banner("dunel.sfv", ".\\", true, "*.txt  *  ") +
                            "Checking path  --->  .\\\n"
                            "Error: file name not supported, skipped: .\\a\\b.txt\n"
                            "Error: file name not supported, skipped: .\\x?y.txt\n"
                            "  (1 files processed)\n\n"
                            "Checking path  --->  .\\a\\\n  (1 files processed)\n\n"
                            "Error: file name not supported, skipped: .\\tab?dir\n"
                            "Job done!\n"));
    EXPECT_EQ(dir.read("dunel.sfv"), SFV_HEADER + "y.txt CBF43926\r\n");
    EXPECT_EQ(run_velmora(dir.path(), {"-c=dunel.sfv"}).out,
              check_report("dunel.sfv", "y.txt  OK!\n\n"));
}

TEST(FaultTree, DirectoryWhoseSearchPathCannotFitIsSkippedAndNamed) {
    TempDir dir;
    const std::string a(100, 'a');
    const std::string b(100, 'b');
    // ".\" and the three names with their backslashes: 296 characters (its search path
    // fits), then 297 (it does not).
    for (std::size_t n : {91u, 92u})
        dir.write(a + "/" + b + "/" + std::string(n, 'c') + "/f", "abc");
    RunResult r = run_velmora(dir.path(), {"-r", "-f=s", "*"});
    const std::string shown = ".\\" + a + "\\" + b + "\\";
    EXPECT_NE(r.out.find(report("Checking path  --->  " + shown + std::string(91, 'c') +
                                "\\\n  (1 files processed)\n")),
              std::string::npos)
        << r.out;
    EXPECT_EQ(
        lines_starting(r.out, "Error:"),
        std::vector<std::string>{"Error: path too long, skipped: " + shown + std::string(92, 'c')});
}

} // namespace
