// The progress line on a terminal's standard error, over runs held up past its first second.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "harness.h"

namespace {

// Too long for the terminal, 40 columns wide.
const std::string BIG = "big-file-with-a-long-name.bin";

// Stops the program for a while once it reads name, as a stalled disk would.
void stall_reading(pid_t pid, const std::string& name) {
    while (!holds_file(pid, name) && !has_ended(pid))
        ;
    kill(pid, SIGSTOP);
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    kill(pid, SIGCONT);
}

constexpr char ERASED[] = "\r\033[K";

// Build, then check what it wrote (two files, the first held up): each shows the line on the
// terminal, erases it, and reports byte for byte what it reports with standard error elsewhere.
TEST(Progress, ShowsOnATerminalOnlyAndLeavesTheReportAsItWas) {
    if (windows_program())
        GTEST_SKIP() << "no console can be faked for the Windows program";
    TempDir dir;
    {
        std::ofstream big(dir.path() + "/" + BIG, std::ios::binary);
        const std::string block(1 << 20, 'x');
        for (int i = 0; i < 256; ++i)
            big << block;
    }
    // A second name for it: the take of the file after the stall draws, whenever the stall
    // fell in reading the first.
    std::filesystem::create_hard_link(dir.path() + "/" + BIG, dir.path() + "/big2.bin");
    // The caller reading the pieces itself, then waiting on workers that read them.
    const std::pair<std::vector<std::string>, Build> runs[] = {{{BIG, "big2.bin"}, Build::Serial},
                                                               {{"-c=dunel.sfv"}, Build::Shipped}};
    for (const auto& [args, build] : runs) {
        RunOptions on_terminal{.build = build,
                               .meanwhile = [](pid_t pid) { stall_reading(pid, BIG); }};
        on_terminal.error_on_terminal = true;
        const RunResult shown = run_velmora(dir.path(), args, on_terminal);
        const std::string list = dir.read("dunel.sfv");
        const RunResult plain = run_velmora(dir.path(), args, {.build = build});
        EXPECT_EQ(shown.status, 0);
        EXPECT_EQ(shown.out, plain.out);
        EXPECT_EQ(dir.read("dunel.sfv"), list);
        EXPECT_TRUE(shown.err.ends_with(ERASED)) << shown.err;
        EXPECT_NE(shown.err.find("/2] "), std::string::npos) << shown.err; // the final count
        // Each drawing (and its erase) within the width less its last column: the name cut.
        std::istringstream drawings(shown.err);
        for (std::string line; std::getline(drawings, line, '\r');)
            EXPECT_LE(line.size(), 39u + 3u) << line;
    }
    // With the report on the same terminal, a drawing is erased before any report line.
    RunOptions both{.meanwhile = [](pid_t pid) { stall_reading(pid, BIG); }};
    both.error_on_terminal = both.output_on_terminal = true;
    const std::string screen = run_velmora(dir.path(), {"-c=dunel.sfv"}, both).err;
    EXPECT_NE(screen.find("big2.bin  OK!"), std::string::npos) << screen;
    for (std::size_t k = screen.find("\033[K", 1); k != std::string::npos;
         k = screen.find("\033[K", k + 1))
        EXPECT_TRUE(screen[k - 1] == '\r' || k + 3 == screen.size() || screen[k + 3] == '\r')
            << screen.substr(k > 40 ? k - 40 : 0, 80);
    // A report file that takes no line past the one naming the directory, while a drawing is
    // shown: the drawing goes before the error line. (A sanitizer's own files meet the limit.)
    if (!bounds_hold())
        return;
    const std::string head = build_run(BIG + "  big2.bin  ", "Checking path  --->  .\\\n");
    RunOptions full{.build = Build::Serial,
                    .file_size = head.size() - std::strlen("Job done!\n"),
                    .meanwhile = [](pid_t pid) { stall_reading(pid, BIG); }};
    full.error_on_terminal = true;
    const std::string err = run_velmora(dir.path(), {"-o", BIG, "big2.bin"}, full).err;
    EXPECT_TRUE(
        err.ends_with(std::string(ERASED) + "Error: cannot write the report: file too large\r\n"))
        << err;
}

// Wine makes a terminal on standard error a console in the OEM code page (437), whatever
// standard output is: the line is drawn in its terms (not "cafΘ"), and in code page 932 cut
// between whole characters, never leaving half of one ("・").
TEST(Progress, OnAConsoleNamesShowInItsTermsCutBetweenWholeCharacters) {
    if (!windows_program())
        GTEST_SKIP() << "the console's own code page is the Windows program's";
    const std::pair<std::string, bool> runs[] = {{"caf\xC3\xA9-" + BIG, false},
                                                 {"aファイル名前テストb", true}};
    for (const auto& [name, cp932] : runs) {
        TempDir dir;
        dir.make({{name, ""}});
        // Holes, which the Windows program reads as data: long enough to be seen being read.
        std::filesystem::resize_file(dir.path() + "/" + name, std::uintmax_t{2} << 30);
        const RunOptions on_console{.meanwhile = [n = name](pid_t pid) { stall_reading(pid, n); },
                                    .code_page_932 = cp932,
                                    .error_on_terminal = true};
        const RunResult r = run_velmora(dir.path(), {"*"}, on_console);
        EXPECT_NE(r.err.find(cp932 ? "a\xE3\x83\x95" : "caf\xC3\xA9"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("\xE3\x83\xBB"), std::string::npos) << r.err;
    }
}

} // namespace
