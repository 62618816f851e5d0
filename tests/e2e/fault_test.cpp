// Process state and file systems that a unit never meets: closed pipes and descriptors, few
// descriptors, a full disk, named pipes, files cut short while read, and many workers.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "../open_counter.h"
#include "harness.h"

namespace {

// "d<i>/<name>", built by appending: GCC 12's -Wrestrict misreads a chain of +.
std::string in_dir(int i, const std::string& name) {
    return std::string("d").append(std::to_string(i)).append("/").append(name);
}

// The entries of a test directory, hidden ones included.
long entries(const TempDir& dir) {
    return std::distance(std::filesystem::directory_iterator(dir.path()), {});
}

// Far more report than any pipe or stream buffer holds: no directory may be left unbuilt,
// and no file of the program may take the place of a closed standard output. A report that
// cannot be written is said once, unless its reader has gone; a check then reads no file.
TEST(FaultOutput, AClosedPipeDescriptorOrFullDiskLosesNoList) {
    TempDir dir;
    for (int i = 0; i < 400; ++i)
        dir.make({{in_dir(i, "f.bin"), "abc"}});
    dir.make({{"l.sfv", "d0\\f.bin 0\n"}});
    for (int run = 0; run < 2; ++run) // the second run lists the first one's SFV files
        run_velmora(dir.path(), {"-o", "-r", "*"});
    const std::string report_file = dir.read("dunout.txt");
    for (Output output : {Output::ReaderGone, Output::Closed, Output::Full}) {
        if (output == Output::Closed && windows_program())
            continue; // the runner gives the Windows program standard handles of its own
        EXPECT_EQ(run_velmora(dir.path(), {"-r", "*"}, {output}).status, 0);
        OpenCounter opens({dir.path() + "/d0"});
        const std::string said =
            output == Output::Full ? "Error: cannot write the report: disk full\n" : "";
        EXPECT_EQ(run_velmora(dir.path(), {"-c=l.sfv"}, {output}).err, report(said));
        EXPECT_EQ(opens.take().count(dir.path() + "/d0/f.bin"), output == Output::Closed ? 1u : 0u);
        // No directory's list names itself.
        for (int i = 0; i < 400; i += 7)
            ASSERT_EQ(dir.read(in_dir(i, "dunel.sfv")), sfv({{"f.bin", "abc"}})) << i;
        EXPECT_EQ(run_velmora(dir.path(), {"-o", "-r", "*"}, {output}).status, 0);
        EXPECT_EQ(dir.read("dunout.txt"), report_file);
    }
}

// A tree with a file of every kind the checksum treats apart, many times over: a descriptor
// leaked on any path soon exhausts a small limit (room for four workers and their searches).
TEST(FaultLimits, FewDescriptorsChangeNothing) {
    if (under_runner())
        GTEST_SKIP() << "a descriptor limit would bind the runner";
    TempDir dir;
    const std::string big(5u << 20, 'b');
    // Read in pieces by the workers; the last piece one byte long.
    const std::string huge = std::string(16u << 20, 'h') + "x";
    std::string list = "list.sfv 0\n";
    for (int i = 0; i < 12; ++i) {
        // clang-format off
        dir.make({{in_dir(i, "a.txt"), "abc"}, {in_dir(i, "empty"), ""}, {in_dir(i, "sub"), "/"},
                  {in_dir(i, "big"), big}, {in_dir(i, "huge"), huge}});
        // clang-format on
        for (int times = 0; times < 3; ++times) {
            for (const char* name :
                 {"a.txt", "A.TXT", "empty", "sub", "big", "huge", "none", "dunel.sfv"})
                list += in_dir(i, name) + " 352441C2\n";
        }
    }
    dir.make({{"list.sfv", list}});
    // 24: room for four workers; 6: for one file beside the standard ones, the list and its
    // directory, so that the workers are refused and a file they could not open is read in its
    // turn.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"-r", "-o", "*"}, std::vector<std::string>{"-c=list.sfv"}}) {
        // The report, wherever it went, once the files of the first run are there.
        const auto report_of = [&](const RunOptions& o) {
            const std::string out = run_velmora(dir.path(), args, o).out;
            return out + dir.read("dunout.txt");
        };
        report_of({});
        const std::string free = report_of({});
        for (Build build : {Build::Shipped, Build::Parallel})
            for (rlim_t limit : {24, 6})
                EXPECT_EQ(report_of({Output::Captured, build, limit}), free) << limit;
        // clang-format off
        EXPECT_EQ(dir.read("d3/dunel.sfv"), sfv({{"a.txt", "abc"}, {"big", big}, {"empty", ABSENT},
                                                 {"huge", huge}}));
        // clang-format on
    }
    // 5: none left beside the list and its folder, even for a try alone: the file is named.
    EXPECT_EQ(
        run_velmora(dir.path(), {"-p=d0", "a.txt"}, {Output::Captured, Build::Parallel, 5}).out,
        build_run(
            "a.txt  ",
            dir_lines(
                "d0\\", 1,
                "Error: cannot read file, listed as 00000000: d0\\a.txt (too many open files)\n"),
            {.path = "d0\\"}));
}

// Left little address space, the program still reads every file it gets to list: where no
// read buffer or view fits, through a small buffer. (Starting it at all takes some.)
TEST(FaultLimits, LittleAddressSpaceLeavesNoFileUnread) {
    if (!bounds_hold())
        GTEST_SKIP() << "a sanitizer or runner needs address space of its own";
    TempDir dir;
    const Files files = {{"a", std::string(3u << 20, 's')},
                         {"b", std::string((6u << 20) + 3, 'm')},
                         {"c", std::string((20u << 20) + 1, 'p')}};
    dir.make(files);
    const std::string whole = build_run("*  ", dir_lines(".\\", 3)) + sfv(files);
    int listed = 0;
    for (rlim_t mib = 8; mib <= 40; mib += 4) {
        RunOptions tight;
        tight.address_space = mib << 20;
        std::string out = run_velmora(dir.path(), {"*"}, tight).out;
        out += dir.read("dunel.sfv");
        std::filesystem::remove(dir.path() + "/dunel.sfv");
        // With too little to start, or to list the directory, no list at all.
        EXPECT_TRUE(out == whole || out.ends_with(ABSENT)) << mib << " MiB: " << out;
        listed += out == whole ? 1 : 0;
    }
    EXPECT_GT(listed, 0);
}

// Started as a shell starts it, with SIGXFSZ at its default action; one pass for each build:
// the new list unnamed, named from the start (the serial build), and in a folder closed to new
// files, where the list is written in place: what the failed write cut is emptied.
TEST(FaultDisk, AFullDiskKeepsTheOldSfvFileAndSaysSo) {
    if (under_runner())
        GTEST_SKIP() << "a file-size limit would bind the runner";
#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
    GTEST_SKIP() << "the thread sanitizer's runtime writes a file before main, past the limit";
#endif
#endif
    TempDir dir;
    for (int i = 0; i < 400; ++i) // more lines than a stream buffers
        dir.make({{std::to_string(i) + ".txt", "a"}});
    dir.make({{"sub/x.txt", "x"}, {"dunel.sfv", "old list"}});
    // No room; room that ends mid-list, then only for the lines still buffered at the close.
    // A subdirectory's list, where it fits, is whole: nothing of the cut one is left over.
    for (int pass = 0; pass < (geteuid() == 0 ? 2 : 3); ++pass) { // root writes in any folder
        const bool closed = pass == 2;
        std::filesystem::remove(dir.path() + "/sub/dunel.sfv");
        for (rlim_t limit : {rlim_t{0}, rlim_t{4000}, rlim_t{6000}}) {
            const RunOptions full_disk{Output::Captured, Build(pass), RLIM_INFINITY, limit};
            const std::string failed = "Error: cannot write SFV file!\n";
            chmod(dir.path().c_str(), closed ? 0555 : 0755);
            EXPECT_EQ(run_velmora(dir.path(), {"-r", "*.txt"}, full_disk).out,
                      build_run("*.txt  ",
                                dir_lines(".\\", 400, failed) +
                                    dir_lines(".\\sub\\", 1, limit == 0 ? failed : ""),
                                {.recursive = true}));
            chmod(dir.path().c_str(), 0755);
            EXPECT_EQ(dir.read("dunel.sfv"), closed ? "" : "old list") << "limit " << limit;
            EXPECT_EQ(entries(dir), 402) << "a file of the failed list was left, limit " << limit;
            EXPECT_EQ(dir.read("sub/dunel.sfv"), limit == 0 ? ABSENT : sfv({{"x.txt", "x"}}));
        }
    }
}

// The test builds fail a directory's read midway (POSIX): its old list stays, and the directory
// is named, as is the one whose subdirectories the walk could not all take. A list that fails
// after 8 KiB: the line it cut gets no verdict, the check is said to be incomplete. A file in
// pieces whose later pieces fail (POSIX, outside sanitizers) is named and given no checksum,
// not even that of the pieces read.
TEST(FaultDisk, ADirectoryOrListThatFailsWhileReadIsNamed) {
    if (under_runner() && !windows_program())
        GTEST_SKIP() << "the emulator reads the process's memory its own way";
    TempDir dir;
    const bool views_fail = bounds_hold() && !windows_program();
    // Then 545 lines and one cut in its checksum, in 8 KiB.
    std::string list = views_fail ? "; x\nbig.fault 0\n" : "; x\n";
    for (int i = 0; i < 600; ++i)
        list += "a.txt E8B7BE43\n";
    dir.make({{"a.txt", "a"},
              {"big.fault", std::string((16u << 20) + 1, 'b')},
              {"sub/b.txt", "b"},
              {"sub/unreadable.fault", ""},
              {"sub/dunel.sfv", "old"},
              {"l.fault", list}});
    const std::string failed = "Error: cannot read directory, ";
    if (!windows_program()) {
        EXPECT_EQ(
            run_velmora(dir.path(), {"-r", "*.txt", "*.sfv"}, {Output::Captured, Build::Serial})
                .out,
            build_run("*.txt  *.sfv  ",
                      dir_lines(".\\", 1) +
                          dir_lines(".\\sub\\", 0, failed + "list incomplete: .\\sub\\\n") +
                          failed + "walk incomplete: .\\sub\\\n",
                      {.recursive = true}));
        EXPECT_EQ(dir.read("sub/dunel.sfv"), "old");
    }
    std::string verdicts =
        views_fail ? "Error: cannot read file: big.fault (read error)\nbig.fault  Missing\n" : "";
    for (int i = 0; i < 545; ++i)
        verdicts += "a.txt  OK!\n";
    EXPECT_EQ(run_velmora(dir.path(), {"-c=l.fault"}, {Output::Captured, Build::Parallel}).out,
              report(check_run("l.fault",
                               verdicts + "Error: cannot read SFV file, check incomplete!\n\n")));
}

// Stopped while its new list is written (held still while it reads the big file), then
// signalled: the old list stays byte for byte, or a whole new one has taken its place, and
// nothing else is left. The list has no name while written, or one that a caught signal removes
// (the serial build); SIGKILL meets only the first. So in a folder closed to new files, where
// the list is rewritten in place only once complete.
TEST(FaultSignal, AStoppedBuildLeavesTheOldListOrAWholeNewOne) {
    if (windows_program())
        GTEST_SKIP() << "the runner, not the program, answers these signals";
    TempDir dir;
    const std::string big(64u << 20, 'b');
    dir.make({{"a.txt", "abc"}, {"big.bin", big}, {"cut.sfv", "old"}, {"late.sfv", "old"}});
    const std::string whole = sfv({{"a.txt", "abc"}, {"big.bin", big}});
    for (int pass = 0; pass < (geteuid() == 0 ? 1 : 2); ++pass) { // root writes in any folder
        const bool closed = pass == 1;
        for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGKILL}) {
            const bool named = !closed && sig != SIGKILL;
            bool stopped_writing = false;
            for (int attempt = 0; attempt < 20 && !stopped_writing; ++attempt) {
                dir.make({{"dunel.sfv", "old list"}});
                RunOptions stop{Output::Captured, named ? Build::Serial : Build::Shipped};
                stop.meanwhile = [&](pid_t pid) {
                    while (!holds_file(pid, "big.bin") && !has_ended(pid))
                        ;
                    kill(pid, SIGSTOP);
                    stopped_writing = holds_file(pid, "big.bin") && entries(dir) == 5 + named;
                    kill(pid, sig);
                    kill(pid, SIGCONT);
                };
                chmod(dir.path().c_str(), closed ? 0555 : 0755);
                const RunResult r = run_velmora(dir.path(), {"*.txt", "*.bin"}, stop);
                chmod(dir.path().c_str(), 0755);
                const std::string list = dir.read("dunel.sfv");
                ASSERT_TRUE(list == "old list" || list == whole) << list.substr(0, 100);
                ASSERT_TRUE(r.signal == sig || (r.status == 0 && list == whole)) << r.signal;
                ASSERT_EQ(entries(dir), 5) << "left after signal " << sig;
                stopped_writing = stopped_writing && r.signal == sig;
            }
            EXPECT_TRUE(stopped_writing) << "no stop landed while the list was written, " << sig;
        }
        // Stopped in its one write (the test builds stop there, after half of it or all of it),
        // a list rewritten in place is left empty or whole.
        for (const std::string name : {"cut.sfv", "late.sfv"}) {
            chmod(dir.path().c_str(), closed ? 0555 : 0755);
            const RunResult r =
                run_velmora(dir.path(), {"-f=" + name, "a.txt"}, {Output::Captured, Build::Serial});
            chmod(dir.path().c_str(), 0755);
            EXPECT_EQ(r.signal, closed ? SIGTERM : 0) << name;
            EXPECT_EQ(dir.read(name), closed && name == "cut.sfv" ? "" : sfv({{"a.txt", "abc"}}));
        }
    }
}

// Held still while it writes its list: a second build of the folder meanwhile never sees the
// first one's new file, and the folder renamed then takes the first one's list whole, with no
// file of it left over.
TEST(FaultSignal, ABuildBesideAnotherOrInARenamedFolderWritesAWholeList) {
    if (windows_program())
        GTEST_SKIP() << "Wine renames and deletes a file by the path it was opened with";
    TempDir dir;
    const std::string big(64u << 20, 'b');
    // One file: held while the workers read it, no other file of the folder may be unread yet.
    dir.make({{"d/big.bin", big}});
    const std::vector<std::string> args = {"-p=d", "*.*"};
    const std::string out = build_run("*.*  ", dir_lines("d\\", 1), {.path = "d\\"});
    const std::string whole = sfv({{"big.bin", big}});
    RunOptions held;
    held.meanwhile = [&](pid_t pid) {
        while (!holds_file(pid, "big.bin") && !has_ended(pid))
            ;
        kill(pid, SIGSTOP);
        EXPECT_EQ(run_velmora(dir.path(), args).out, out); // no other list named
        std::filesystem::rename(dir.path() + "/d", dir.path() + "/e");
        kill(pid, SIGCONT);
    };
    EXPECT_EQ(run_velmora(dir.path(), args, held).out, out);
    EXPECT_EQ(dir.read("e/dunel.sfv"), whole);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path() + "/e"), {}), 2);
}

// Killed while it reads a large file, a check has written out each verdict before it, not a
// block at a time: a stop signal, which leaves no more time to write, loses none either. So
// too the verdicts that went out together (the workers read the small files at once).
TEST(FaultSignal, AKilledCheckKeepsEveryVerdictBefore) {
    TempDir dir;
    dir.make({{"a", ""}, {"big.bin", std::string(64u << 20, 'b')}});
    std::string list, verdicts;
    for (int i = 0; i < 8; ++i) {
        list += "a 0\n";
        verdicts += "a  OK!\n";
    }
    dir.make({{"l", list + "big.bin 0\n"}});
    // The report as a whole run writes it, but for its last line.
    const auto out_before = [&] {
        return dir.read("dunout.txt") + report("Job done!\n") == report(check_run("l", verdicts));
    };
    for (const Build build : {Build::Serial, Build::Parallel}) {
        bool held = false;
        for (int attempt = 0; attempt < 20 && !held; ++attempt) {
            std::filesystem::remove(dir.path() + "/dunout.txt");
            run_velmora(dir.path(), {"-o", "-c=l"},
                        {.build = build, .meanwhile = [&](pid_t pid) {
                             while (!(holds_file(pid, "big.bin") && out_before()) &&
                                    !has_ended(pid))
                                 ;
                             kill(pid, SIGSTOP);
                             held = holds_file(pid, "big.bin");
                             kill(pid, SIGKILL);
                         }});
        }
        EXPECT_TRUE(held) << "the verdicts before were not out while the large file was read";
    }
}

// A rebuilt list keeps the old one's mode, not the one a new file would get. Wine turns the
// access list copied on Windows into a mode of its own, so there only the list is checked.
TEST(FaultAccess, ARebuiltListKeepsTheOldOnesMode) {
    TempDir dir;
    dir.make({{"a.txt", "a"}, {"dunel.sfv", "old"}});
    chmod((dir.path() + "/dunel.sfv").c_str(), 0640);
    run_velmora(dir.path(), {"*.txt"});
    EXPECT_EQ(dir.read("dunel.sfv"), sfv({{"a.txt", "a"}}));
    struct stat kept {};
    ASSERT_EQ(stat((dir.path() + "/dunel.sfv").c_str(), &kept), 0);
    EXPECT_TRUE(windows_program() || (kept.st_mode & 0777) == 0640u) << (kept.st_mode & 0777);
}

// The rename must not replace a list the user may not write; a list they may write in a
// folder they may not is written in place; a folder they may not read is named.
TEST(FaultAccess, AReadOnlyListIsRefusedOneInAClosedFolderIsWrittenInPlace) {
    if (geteuid() == 0 && !windows_program())
        GTEST_SKIP() << "root may write anything";
    TempDir dir;
    dir.make({{"ro/a.txt", "a"}, {"ro/dunel.sfv", "old"}, {"ro/locked", "/"}});
    // Folders enough that a descriptor kept by each in-place list would exhaust a small limit.
    const std::string shut[] = {"shut/", "shut/s/", "shut/s/t/", "shut/s/t/u/", "shut/s/t/u/v/"};
    for (const std::string& in : shut)
        dir.make({{in + "a.txt", "a"}, {in + "dunel.sfv", "old"}});
    chmod((dir.path() + "/ro/dunel.sfv").c_str(), 0444);
    chmod((dir.path() + "/ro/locked").c_str(), 0);
    for (const std::string& in : shut)
        chmod((dir.path() + "/" + in).c_str(), 0555);
    const std::string refused = "Error: cannot create SFV file!\n";
    // Wine shows a folder its user may not read as an empty one.
    const std::string locked =
        windows_program() ? "" : "Error: cannot read directory, nothing listed: ro\\locked\\\n";
    EXPECT_EQ(run_velmora(dir.path(), {"-r", "-p=ro", "*.txt"}).out,
              report(build_run("*.txt  ",
                               dir_lines("ro\\", 1, refused) + dir_lines("ro\\locked\\", 0, locked),
                               {.recursive = true, .path = "ro\\"})));
    chmod((dir.path() + "/ro/locked").c_str(), 0755);
    std::string shut_lines;
    for (std::string in : shut) {
        std::replace(in.begin(), in.end(), '/', '\\');
        shut_lines += dir_lines(in, 1);
    }
    const RunOptions limited{.open_files = under_runner() ? RLIM_INFINITY : 6};
    EXPECT_EQ(run_velmora(dir.path(), {"-r", "-p=shut", "*.*"}, limited).out,
              report(build_run("*.*  ", shut_lines, {.recursive = true, .path = "shut\\"})));
    for (const std::string& in : shut) {
        chmod((dir.path() + "/" + in).c_str(), 0755);
        EXPECT_EQ(dir.read(in + "dunel.sfv"), sfv({{"a.txt", "a"}})) << in;
    }
    EXPECT_EQ(dir.read("ro/dunel.sfv"), "old");
}

// A run stuck on a pipe would hang until its time-out.
TEST(FaultPipe, NamedPipesNeverBlock) {
    if (windows_program())
        GTEST_SKIP() << "named pipes of this kind exist only on the native system";
    TempDir dir;
    dir.make({{"a.txt", "abc"}, {"dunout.txt", "->pipe"}});
    ASSERT_EQ(mkfifo((dir.path() + "/pipe").c_str(), 0600), 0);
    // Opened, a pipe would let its writer go on: it is never opened at all.
    OpenCounter opens({dir.path()});
    // clang-format off
    const std::pair<std::vector<std::string>, std::string> runs[] = {
        {{"*.*"}, build_run("*.*  ", dir_lines(".\\", 3))},
        {{"-c=dunel.sfv"},
         check_run("dunel.sfv", "a.txt  OK!\ndunout.txt  Missing\npipe  Missing\n\n")},
        {{"-c=pipe"}, check_run("pipe", MISSING_SFV)},
        {{"-f=pipe", "a.txt"},
         build_run("a.txt  ", dir_lines(".\\", 1, "Error: cannot create SFV file!\n"),
                   {.sfv = "pipe"})}};
    // clang-format on
    for (const auto& [args, out] : runs)
        EXPECT_EQ(run_velmora(dir.path(), args).out, out) << args[0];
    EXPECT_EQ(opens.take()[dir.path() + "/pipe"], 0);
}

// Changed once the program maps the file, that is while it reads it (before the open, the
// changed file's own checksum would be right; after the read, the whole file's): cut short
// within a piece, or within its last page, whose tail would read as zeros; or written at the
// same size. Data, not holes (which are never read), and no run of zeros: a piece lost
// changes the checksum. Never a checksum the file never had: zero, or Missing, and why.
TEST(FaultRead, AFileChangedWhileReadYieldsZeroOrMissingAndTheRunGoesOn) {
    TempDir dir;
    dir.make({{"z.txt", "abc"}});
    // Written a block at a time: until the program starts, the test's memory counts as its own.
    std::string block(1u << 20, 'x');
    std::generate(block.begin(), block.end(),
                  [i = 0u]() mutable { return char(i++ * 2654435761u >> 24); });
    {
        std::ofstream all(dir.path() + "/a.all", std::ios::binary);
        for (int i = 0; i < 128; ++i, ++block[0])
            all << block;
    }
    std::string().swap(block);
    const std::string big = dir.path() + "/a.bin";
    const auto restore = std::filesystem::copy_options::overwrite_existing;
    // The file's size before and after each change: the second file is read through one view,
    // the last is written at the same size.
    const std::pair<off_t, off_t> changes[] = {
        {128 << 20, 1000}, {(15 << 20) + 3000, (15 << 20) + 2997}, {128 << 20, 128 << 20}};
    const auto make_big = [&](off_t size) {
        std::filesystem::copy_file(dir.path() + "/a.all", big, restore);
        truncate(big.c_str(), size);
        // An hour old: a write now gives it another time, however coarse the clock.
        std::filesystem::last_write_time(big, std::filesystem::last_write_time(big) -
                                                  std::chrono::hours(1));
    };
    const std::string zero = sfv({{"a.bin", ABSENT}, {"z.txt", "abc"}});
    const std::string why =
        "Error: cannot read file, listed as 00000000: .\\a.bin (changed while read)\n";
    // One thread reads the pieces of the file in turn; four workers, at once.
    for (Build build : {Build::Serial, Build::Parallel}) {
        for (const auto& change : changes) {
            make_big(change.first);
            const long rss =
                run_velmora(dir.path(), {"*.bin", "*.txt"}, {Output::Captured, build}).max_rss_kib;
            // Each piece leaves memory once read.
            EXPECT_TRUE(!bounds_hold() || rss < 96 * 1024) << rss << " KiB resident";
            const std::string whole = dir.read("dunel.sfv");
            dir.make({{"l.sfv", whole}});
            // A build, then a check: the whole file's outcome, then that of one changed while read.
            const std::tuple<std::vector<std::string>, std::string, std::string> runs[] = {
                {{"*.bin", "*.txt"},
                 report(build_run("*.bin  *.txt  ", dir_lines(".\\", 2))) + whole,
                 report(build_run("*.bin  *.txt  ", dir_lines(".\\", 2, why))) + zero},
                {{"-c=l.sfv"},
                 report(check_run("l.sfv", "a.bin  OK!\nz.txt  OK!\n\n")),
                 report(check_run("l.sfv", "Error: cannot read file: a.bin (changed while read)\n"
                                           "a.bin  Missing\nz.txt  OK!\n\n"))}};
            for (const auto& [args, unchanged, changed] : runs) {
                bool changed_while_read = false;
                for (int attempt = 0; attempt < 20 && !changed_while_read; ++attempt) {
                    make_big(change.first);
                    RunOptions cut{Output::Captured, build};
                    cut.meanwhile = [&](pid_t pid) {
                        while (!holds_file(pid, "a.bin", true) && !has_ended(pid))
                            ;
                        kill(pid, SIGSTOP);
                        change.second < change.first
                            ? truncate(big.c_str(), change.second)
                            : (std::ofstream(big, std::ios::in | std::ios::out) << '!', 0);
                        kill(pid, SIGCONT);
                    };
                    const RunResult r = run_velmora(dir.path(), args, cut);
                    const std::string seen = r.out + (args.size() > 1 ? dir.read("dunel.sfv") : "");
                    ASSERT_TRUE(seen == unchanged || seen == changed) << change.first << seen;
                    changed_while_read = seen == changed;
                }
                EXPECT_TRUE(changed_while_read) << "no change landed while read: " << change.first;
            }
        }
    }
}

TEST(FaultLimits, TooManyFilesKeepsTheFirst16384AndSaysSo) {
    TempDir dir;
    char name[32];
    for (int i = 0; i < 16385; ++i)
        dir.make({{(std::snprintf(name, sizeof name, "f%05d.bin", i), name), ""}});
    EXPECT_EQ(
        run_velmora(dir.path(), {"*.bin", "*.bin"}).out,
        report(build_run(
            "*.bin  *.bin  ",
            dir_lines(".\\", 16384, "Error: too many files, only the first 16384 are listed!\n"))));
    const std::string list = dir.read("dunel.sfv");
    EXPECT_EQ(list.size(), sfv({}).size() + 16384u * 21u);
    EXPECT_EQ(list.substr(list.size() - 21), "f16383.bin 00000000\r\n");
}

// An entry must not lead out to another host (Windows would offer it the user's
// credentials) or to a device; below an SFV file the user chose there, names stay there.
TEST(FaultNetwork, EntriesBeginningWithTwoSeparatorsAreMissingUnopened) {
    TempDir dir;
    dir.make({{"a.txt", "abc"}});
    // The directory from its root behind one separator, then behind two: "\\?\" on Windows.
    std::string root = dir.path() + "/";
    for (char& c : root)
        c = windows_program() && c == '/' ? '\\' : c;
    const std::string local = (windows_program() ? "\\\\?\\Z:" : "/") + root;
    const std::string mixed = "\\/" + local.substr(2);
    dir.make({{"l.sfv",
               local + "a.txt 0\n" + mixed + "a.txt 0\n" + root + "a.txt 0\na.txt 352441C2\n"}});
    // Below an SFV file the user reached that way, entries are taken below it; a path from the
    // root, given in another letter case (as the banner shows it), finds it all the same.
    for (const std::string& sfv_dir : {std::string(), local, root}) {
        std::string shown = sfv_dir + "l.sfv";
        std::transform(shown.begin(), shown.end(), shown.begin(), ::tolower);
        EXPECT_EQ(
            run_velmora(dir.path(), {"-c=" + shown}).out,
            report(check_run(shown, local + "a.txt  Missing\n" + mixed + "a.txt  Missing\n" + root +
                                        (sfv_dir.empty() ? "a.txt  Broken\n" : "a.txt  Missing\n") +
                                        "a.txt  OK!\n\n")));
    }
}

// Four workers write what one thread writes, with more files than the queue holds at once
// and one of every kind, and files large enough to be read in three pieces, in directories
// read in turn (".slow"), ahead (a file in pieces right after them), and ahead only from
// memory (".cached"). Each file is opened once: no directory reads another's files again.
TEST(Parallel, FourWorkersWriteWhatOneThreadWritesOpeningEachFileOnce) {
    std::string large(20u << 20, '\0');
    for (std::size_t i = 0; i < large.size(); ++i)
        large[i] = static_cast<char>((i * 7919) >> 3);
    const char* dirs[] = {"a.slow", "b", "c.cached"};
    TempDir one;
    TempDir four;
    for (const TempDir* dir : {&one, &four}) {
        for (int i = 0; i < 600; ++i)
            dir->make(
                {{std::string(dirs[i % 2]) + "/" + std::to_string(i), std::string(i % 5, 'x')}});
        dir->make({{"b/large.bin", large},
                   {"c.cached/large.bin", large},
                   {"c.cached/dunel.sfv", "an older list"},
                   {"dangling", "->nowhere"},
                   {"list.sfv", "c.cached\\large.bin 0\nb\\1 0\nmissing 0\nb\\1 0\nlist.sfv 0\n"}});
    }
    OpenCounter opens(
        {four.path(), four.path() + "/a.slow", four.path() + "/b", four.path() + "/c.cached"});
    const std::pair<std::vector<std::string>, std::string> runs[] = {
        {{"-r", "-o", "*"}, ""},
        {{"-c=list.sfv"},
         check_run("list.sfv", "c.cached\\large.bin  Broken\nb\\1  Broken\nmissing  Missing\n"
                               "b\\1  Broken\nlist.sfv  Missing\n\n")},
        {{"-c=a.slow\\dunel.sfv"}, ""}};
    for (const auto& [args, expected] : runs) {
        const RunResult r1 = run_velmora(one.path(), args, {Output::Captured, Build::Serial});
        const RunResult r4 = run_velmora(four.path(), args, {Output::Captured, Build::Parallel});
        EXPECT_EQ(r4.out, r1.out);
        EXPECT_EQ(r4.out, expected.empty() ? r1.out : report(expected));
        if (!under_runner() && args[0] == "-r") { // a runner opens files of its own
            // The files the run writes are opened by it as well, too close together to count.
            for (const auto& [path, count] : opens.take())
                EXPECT_TRUE(count == 1 || path.ends_with("/dunout.txt") ||
                            path.ends_with("/dunel.sfv"))
                    << path << " opened " << count << " times";
        }
    }
    for (const char* file : {"dunout.txt", "dunel.sfv", "a.slow/dunel.sfv", "b/dunel.sfv"})
        EXPECT_EQ(four.read(file), one.read(file)) << file;
    EXPECT_EQ(four.read("c.cached/dunel.sfv"), sfv({{"large.bin", large}}));
}

} // namespace
