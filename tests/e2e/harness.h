// End-to-end harness: runs the program under test in a fresh temporary directory and
// compares what it prints and writes with rows of expected results.
// VELMORA_BIN names the program (default: the native build), VELMORA_SERIAL_BIN and
// VELMORA_PARALLEL_BIN its builds with one and four checksum workers, VELMORA_TARGET=windows
// says the program is a Windows build, VELMORA_RUNNER names a command that runs it (Wine, an
// emulator, a checker; looked up on PATH), VELMORA_RUNNER_CP932 one that gives the Windows
// program the ANSI code page 932, VELMORA_REPORT_CRLF=1 says that the report ends lines in
// CR LF.
#pragma once

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

struct RunResult {
    int status; // exit status, or -1 when the program did not exit normally
    int signal; // the signal that ended it, or 0
    std::string out;
    std::string err;  // standard error, a file's or (error_on_terminal) a terminal's
    long max_rss_kib; // the largest the program's resident memory grew
};

// Paths use "/"; a content that ends in "/" makes a directory, "->target" a symbolic link,
// UNREADABLE a file nobody but root may read.
using Files = std::vector<std::pair<std::string, std::string>>;
inline constexpr char UNREADABLE[] = "(unreadable)";

// A fresh empty directory, removed with its contents when the object goes.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    void make(const Files& files) const;
    // The file's bytes, or ABSENT.
    std::string read(const std::string& rel) const;

  private:
    std::string path_;
};

// What read gives for a path where nothing is. (Constants, not strings: the tables of rows
// are built before main, in an order across files that nothing fixes.)
inline constexpr char ABSENT[] = "(absent)";

// Standard output: a pipe read to its end (RunResult::out), descriptor 1 closed, a pipe
// whose reading end is closed before the program starts, or a device always full (/dev/full).
enum class Output { Captured, Closed, ReaderGone, Full };

// The program as shipped, or built with every checksum on the main thread, or with four
// workers whatever the machine and its disks.
enum class Build { Shipped, Serial, Parallel };

struct RunOptions {
    Output output = Output::Captured;
    Build build = Build::Shipped;
    rlim_t open_files = RLIM_INFINITY; // descriptor limit of the program
    rlim_t file_size = RLIM_INFINITY;  // largest file it may write
    rlim_t address_space = RLIM_INFINITY;
    // Runs beside the program, given its process id; the program is reaped after it returns.
    std::function<void(pid_t)> meanwhile = nullptr;
    bool code_page_932 = false;      // through VELMORA_RUNNER_CP932
    bool error_on_terminal = false;  // standard error a pseudo-terminal 40 columns wide
    bool output_on_terminal = false; // standard output too (RunResult::err then holds both)
};

// Runs the program with args in dir, standard input from /dev/null.
RunResult run_velmora(const std::string& dir, const std::vector<std::string>& args,
                      const RunOptions& options = {});

// True when the program under test is a Windows build.
bool windows_program();

// True when the program runs through a runner, whose own limits, memory and files count
// with the program's.
bool under_runner();

// True when a bound on the program's memory means something: no runner, and no sanitizer,
// whose runtime takes memory of its own (the test is built with the program's flags).
bool bounds_hold();

// For a meanwhile function: whether the program has ended (it is still reaped after), and
// whether it holds open or maps a file whose path ends in "/" + name (Linux; with mapped, only
// a mapping counts: the open is over by then).
bool has_ended(pid_t pid);
bool holds_file(pid_t pid, const std::string& name, bool mapped = false);

// The report text written with "\n", in the line ends of the program under test.
std::string report(const std::string& lf_text);

// What a build's banner says besides its patterns: whether it walks the tree, the SFV file's
// name and the folder it is built in (as the program shows it, with "\\").
struct Banner {
    bool recursive = false;
    std::string sfv = "dunel.sfv";
    std::string path = ".\\";
};
// A whole build report: the banner, body, "Job done!". Line ends as written (LF). patterns as
// the banner echoes them: lower-cased, each followed by two blanks.
std::string build_run(const std::string& patterns, const std::string& body,
                      const Banner& banner = {});
// The "Checking path" line and the count line of one directory.
std::string dir_lines(const std::string& dir, int count, const std::string& errors = "");
// A whole check report around body; the body when the SFV file cannot be read.
std::string check_run(const std::string& sfv, const std::string& body);
inline constexpr char MISSING_SFV[] = "Error: SFV file missing!\n\n";
// An SFV file: the header and the "name CRC" lines of the given (name, content) pairs.
std::string sfv(const Files& entries);

// CRC-32 straight from its definition, as the eight upper-case digits of an entry.
std::string crc_hex(const std::string& bytes);

// Where a row runs; WindowsCp932: the Windows program with the ANSI code page 932 (Japanese),
// whose report and SFV files are in that code page, names on disk in UTF-8.
enum class Where { Both, PosixOnly, WindowsOnly, WindowsCp932 };

// One run of the program, its fields named where it is written (leave out those not needed,
// keep the order): the files made first, the arguments, the report expected on standard output
// (with "\n" line ends; HELP_SCREEN for the help screen) and files expected afterwards (ABSENT
// for none there). The program must exit with status 0.
struct Row {
    const char* name;
    Files files = {};
    std::vector<std::string> args = {};
    std::string out = {};
    Files after = {};
    Where where = Where::Both;
};

// Stands for the help screen, as tests/e2e/data/help.txt holds it.
inline constexpr char HELP_SCREEN[] = "(help screen)";

// Runs each row in a fresh directory and checks the exit status, the report and the files;
// each table: INSTANTIATE_TEST_SUITE_P(Name, RowRun, testing::ValuesIn(ROWS), row_name).
class RowRun : public testing::TestWithParam<Row> {};

// For the test's name and its messages: the row's name.
void PrintTo(const Row& row, std::ostream* os);
std::string row_name(const testing::TestParamInfo<Row>& info);
