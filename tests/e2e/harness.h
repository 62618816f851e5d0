// End-to-end harness: runs the program under test in a fresh temporary directory.
// VELMORA_BIN names the program (default: the native build), VELMORA_SERIAL_BIN and
// VELMORA_PARALLEL_BIN its builds with one and with four checksum workers, VELMORA_RUNNER an
// optional runner prefix (such as Wine), VELMORA_REPORT_CRLF=1 says the report ends lines in CR LF.
#pragma once

#include <string>
#include <vector>

struct RunResult {
    int status; // exit status, or -1 when the program did not exit normally
    std::string out;
};

// A fresh empty directory, removed with its contents when the object goes.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    // rel uses "/"; parent directories are created.
    void write(const std::string& rel, const std::string& bytes) const;
    void mkdir(const std::string& rel) const;
    std::string read(const std::string& rel) const;
    bool exists(const std::string& rel) const;

  private:
    std::string path_;
};

// Where the program's standard output goes.
enum class Output {
    Captured,   // a pipe read to its end: RunResult::out
    Closed,     // descriptor 1 closed
    ReaderGone, // a pipe whose reading end is closed before the program starts
};

// Which build of the program runs.
enum class Build {
    Shipped,
    Serial,   // every checksum on the main thread
    Parallel, // four workers, whatever the machine and its disks
};

// Runs the program with args, working directory dir, standard input from /dev/null.
RunResult run_velmora(const std::string& dir, const std::vector<std::string>& args,
                      Output output = Output::Captured, Build build = Build::Shipped);

// The expected report text (written with "\n") in the line ends the program under test uses.
std::string report(const std::string& lf_text);

// True when the program under test is a Windows build run through a runner.
bool windows_program();

// The two header lines of every SFV file the program writes.
extern const std::string SFV_HEADER;

// The expected banner of a build run, and a whole check report around its body.
std::string build_banner(const std::string& name, const std::string& path, bool recursive,
                         const std::string& patterns);
std::string check_report(const std::string& sfv, const std::string& body);

// The report lines that start with prefix, in order, without their line ends.
std::vector<std::string> lines_starting(const std::string& out, const std::string& prefix);

// CRC-32 straight from its definition, as the eight upper-case digits of an entry.
std::string crc_hex(const std::string& bytes);
