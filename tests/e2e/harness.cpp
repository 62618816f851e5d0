// Runs the program under test as a child process and checks rows of expected results.
#include "harness.h"
#include "../crc_reference.h"
#include "../test_tmp.h"

#include <fcntl.h>
#if defined(__APPLE__)
#include <util.h>
#elif defined(__FreeBSD__)
#include <libutil.h>
#else
#include <pty.h>
#endif
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

TempDir::TempDir() {
    std::string templ = (test_tmp_root() / "velmora-e2e-XXXXXX").string();
    path_ = mkdtemp(templ.data()) != nullptr ? templ : throw std::runtime_error("mkdtemp");
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

void TempDir::make(const Files& files) const {
    for (const auto& [rel, content] : files) {
        const fs::path p = fs::path(path_) / rel;
        fs::create_directories(p.parent_path());
        if (content.compare(0, 2, "->") == 0)
            fs::create_symlink(content.substr(2), p);
        else if (!content.empty() && content.back() == '/')
            fs::create_directories(p);
        else
            std::ofstream(p, std::ios::binary | std::ios::trunc) << content;
        if (content == UNREADABLE)
            fs::permissions(p, fs::perms::none);
    }
}

static std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return in ? s.str() : ABSENT;
}

std::string TempDir::read(const std::string& rel) const {
    return read_file(fs::path(path_) / rel);
}

static std::string env_or(const char* name, const std::string& fallback) {
    const char* v = std::getenv(name);
    return v != nullptr && v[0] != '\0' ? std::string(v) : fallback;
}

bool windows_program() {
    return env_or("VELMORA_TARGET", "") == "windows";
}

bool under_runner() {
    return !env_or("VELMORA_RUNNER", "").empty();
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool SANITIZED = true;
#elif defined(__has_feature)
constexpr bool SANITIZED = __has_feature(address_sanitizer) || __has_feature(thread_sanitizer);
#else
constexpr bool SANITIZED = false;
#endif

bool bounds_hold() {
    return !SANITIZED && !under_runner();
}

// A pipe whose ends are not inherited past an exec; atomically where the system can.
static bool pipe_cloexec(int fds[2]) {
#if defined(__linux__) || defined(__FreeBSD__)
    return pipe2(fds, O_CLOEXEC) == 0;
#else
    if (pipe(fds) != 0)
        return false;
    fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    fcntl(fds[1], F_SETFD, FD_CLOEXEC);
    return true;
#endif
}

// Closes every descriptor from first up to below limit (taken before the fork), in the child.
static void close_from(int first, long limit) {
#if defined(__linux__) || defined(__FreeBSD__)
    if (close_range(static_cast<unsigned>(first), ~0u, 0) == 0)
        return;
#endif
    for (long fd = first; fd < limit; ++fd)
        close(static_cast<int>(fd));
}

bool has_ended(pid_t pid) {
    siginfo_t info{};
    return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 ||
           info.si_pid == pid;
}

bool holds_file(pid_t pid, const std::string& name, bool mapped) {
    const std::string proc = "/proc/" + std::to_string(pid);
    const std::string suffix = "/" + name;
    std::error_code ec;
    for (fs::directory_iterator fd(proc + "/fd", ec), end; !ec && fd != end; fd.increment(ec)) {
        if (!mapped && fs::read_symlink(fd->path(), ec).string().ends_with(suffix))
            return true;
    }
    std::ifstream maps(proc + "/maps");
    for (std::string line; std::getline(maps, line);) {
        if (line.ends_with(suffix))
            return true;
    }
    return false;
}

std::string report(const std::string& lf_text) {
    std::string out;
    for (char c : lf_text)
        out += c == '\n' && env_or("VELMORA_REPORT_CRLF", "0") == "1" ? "\r\n" : std::string(1, c);
    return out;
}

RunResult run_velmora(const std::string& dir, const std::vector<std::string>& args,
                      const RunOptions& options) {
    std::istringstream runner(
        env_or(options.code_page_932 ? "VELMORA_RUNNER_CP932" : "VELMORA_RUNNER", ""));
    std::vector<std::string> words{std::istream_iterator<std::string>(runner), {}};
    const char* builds[][2] = {{"VELMORA_BIN", VELMORA_DEFAULT_BIN},
                               {"VELMORA_SERIAL_BIN", VELMORA_DEFAULT_SERIAL_BIN},
                               {"VELMORA_PARALLEL_BIN", VELMORA_DEFAULT_PARALLEL_BIN}};
    const auto* build = builds[static_cast<int>(options.build)];
    words.push_back(fs::absolute(env_or(build[0], build[1])).string());
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& s : words)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    int out[2];
    if (!pipe_cloexec(out))
        throw std::runtime_error("pipe");
    int terminal = -1;
    int terminal_end = -1;
    struct winsize size {};
    size.ws_row = 24;
    size.ws_col = 40;
    if (options.error_on_terminal &&
        openpty(&terminal, &terminal_end, nullptr, nullptr, &size) != 0)
        throw std::runtime_error("openpty");
    // Otherwise standard error is a file beside the directory, read once the program has gone:
    // processes a runner starts on the way (Wine's server) may keep it open for long after.
    const std::string err_path = dir + ".err";
    const long open_max = sysconf(_SC_OPEN_MAX);
    const long fd_limit = open_max > 0 && open_max < 65536 ? open_max : 65536;
    const pid_t pid = fork();
    if (pid == 0) {
        // As a shell would start it, whatever this process inherited.
        signal(SIGPIPE, SIG_DFL);
        signal(SIGXFSZ, SIG_DFL);
        const struct rlimit files = {options.open_files, options.open_files};
        const struct rlimit size = {options.file_size, options.file_size};
        const struct rlimit space = {options.address_space, options.address_space};
        dup2(open("/dev/null", O_RDONLY | O_CLOEXEC), 0);
        dup2(terminal_end >= 0 ? terminal_end : creat(err_path.c_str(), 0600), 2);
        options.output == Output::Closed
            ? close(1)
            : dup2(options.output == Output::Full ? open("/dev/full", O_WRONLY) : out[1], 1);
        if (terminal_end >= 0 && options.output_on_terminal)
            dup2(terminal_end, 1);
        close_from(3, fd_limit); // nothing the test runner left open counts against a limit
        if (chdir(dir.c_str()) == 0 &&
            (files.rlim_cur == RLIM_INFINITY || setrlimit(RLIMIT_NOFILE, &files) == 0) &&
            (size.rlim_cur == RLIM_INFINITY || setrlimit(RLIMIT_FSIZE, &size) == 0) &&
            (space.rlim_cur == RLIM_INFINITY || setrlimit(RLIMIT_AS, &space) == 0))
            execvp(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    RunResult result{-1, 0, {}, {}, 0};
    // Read as it comes: a full terminal would hold the program up. It ends (EIO) when the
    // program has gone and closed the last of its side.
    std::thread error_reader([&] {
        if (terminal < 0)
            return;
        close(terminal_end);
        char chunk[4096];
        for (ssize_t n; (n = read(terminal, chunk, sizeof chunk)) > 0;)
            result.err.append(chunk, static_cast<std::size_t>(n));
        close(terminal);
    });
    std::thread beside([&] {
        if (options.meanwhile != nullptr)
            options.meanwhile(pid);
    });
    char buf[65536];
    for (ssize_t n;
         options.output != Output::ReaderGone && (n = read(out[0], buf, sizeof buf)) > 0;)
        result.out.append(buf, static_cast<std::size_t>(n));
    close(out[0]);
    beside.join();
    error_reader.join();
    int status = 0;
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    result.err += terminal < 0 ? read_file(err_path) : "";
    fs::remove(err_path);
    result.max_rss_kib = usage.ru_maxrss;
    return result;
}

std::string build_run(const std::string& patterns, const std::string& body, const Banner& banner) {
    return "Velmora v0.1 - BUILD INFO\n\n[*] SFV file   --->  '" + banner.sfv +
           "'\n[*] SFV path   --->  '" + banner.path + "'\n[*] Recursive  --->  " +
           (banner.recursive ? "Yes" : "No") + "\n[*] Pattern    --->  " + patterns + "\n\n" +
           body + "Job done!\n";
}

std::string dir_lines(const std::string& dir, int count, const std::string& errors) {
    return "Checking path  --->  " + dir + "\n" + errors + "  (" + std::to_string(count) +
           " files processed)\n\n";
}

std::string check_run(const std::string& sfv, const std::string& body) {
    return "Velmora v0.1 - CHECK INFO\n\n[*] SFV file  --->  '" + sfv + "'\n\n" + body +
           "Job done!\n";
}

std::string sfv(const Files& entries) {
    std::string text = "; Generated by Velmora v0.1\r\n;\r\n";
    for (const auto& [name, content] : entries)
        text += name + " " + (content == ABSENT ? "00000000" : crc_hex(content)) + "\r\n";
    return text;
}

std::string crc_hex(const std::string& bytes) {
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(crc_of(bytes)));
    return hex;
}

// The whole help screen, credit block included.
static std::string help_screen() {
    return report(read_file(fs::path(VELMORA_TEST_DATA) / "help.txt"));
}

TEST_P(RowRun, DoesWhatTheRowSays) {
    const Row& row = GetParam();
    const bool cp932 = row.where == Where::WindowsCp932;
    if (row.where == (windows_program() ? Where::PosixOnly : Where::WindowsOnly) ||
        (cp932 && env_or("VELMORA_RUNNER_CP932", "").empty()))
        GTEST_SKIP() << "not shown by this platform";
    for (const auto& [rel, content] : row.files)
        if (content == UNREADABLE && geteuid() == 0)
            GTEST_SKIP() << "root may read anything";
    TempDir dir;
    dir.make(row.files);
    RunOptions options;
    options.code_page_932 = cp932;
    const RunResult r = run_velmora(dir.path(), row.args, options);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, row.out == HELP_SCREEN ? help_screen() : report(row.out));
    // The report file has the report's line ends, unless it is given in CR LF (a list).
    for (const auto& [rel, content] : row.after) {
        const bool as_report = rel == "dunout.txt" && content.find('\r') == std::string::npos;
        EXPECT_EQ(dir.read(rel), content == HELP_SCREEN ? help_screen()
                                 : as_report            ? report(content)
                                                        : content)
            << rel;
    }
}

void PrintTo(const Row& row, std::ostream* os) {
    *os << row.name;
}

std::string row_name(const testing::TestParamInfo<Row>& info) {
    return info.param.name;
}
