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

// Stops the program for a while once it reads BIG, as a stalled disk would.
void stall_while_reading(pid_t pid) {
    while (!holds_file(pid, BIG) && !has_ended(pid))
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
        RunOptions on_terminal{.build = build, .meanwhile = stall_while_reading};
        on_terminal.error_on_terminal = true;
        const RunResult shown = run_velmora(dir.path(), args, on_terminal);
        const std::string list = dir.read("dunel.sfv");
        const RunResult plain = run_velmora(dir.path(), args, {.build = build});
        EXPECT_EQ(shown.status, 0);
        EXPECT_EQ(shown.out, plain.out);
        EXPECT_EQ(dir.read("dunel.sfv"), list);
        EXPECT_TRUE(shown.err.ends_with(ERASED)) << shown.err;
        // Each drawing (and its erase) within the width less its last column: the name cut.
        std::istringstream drawings(shown.err);
        for (std::string line; std::getline(drawings, line, '\r');)
            EXPECT_LE(line.size(), 39u + 3u) << line;
    }
    // With the report on the same terminal, a drawing is erased before any report line.
    RunOptions both{.meanwhile = stall_while_reading};
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
                    .meanwhile = stall_while_reading};
    full.error_on_terminal = true;
    const std::string err = run_velmora(dir.path(), {"-o", BIG, "big2.bin"}, full).err;
    EXPECT_TRUE(
        err.ends_with(std::string(ERASED) + "Error: cannot write the report: file too large\r\n"))
        << err;
}

} // namespace
