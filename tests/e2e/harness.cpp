// Runs the program under test as a child process and collects its report.
#include "harness.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

TempDir::TempDir() {
    std::string templ = (fs::temp_directory_path() / "velmora-e2e-XXXXXX").string();
    if (mkdtemp(templ.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path_ = templ;
}

TempDir::~TempDir() {
    std::error_code ec;
    // Restore permissions a test may have taken away so the tree can be removed.
    for (auto it = fs::recursive_directory_iterator(path_, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(path_, ec);
}

void TempDir::write(const std::string& rel, const std::string& bytes) const {
    fs::path p = fs::path(path_) / rel;
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void TempDir::mkdir(const std::string& rel) const {
    fs::create_directories(fs::path(path_) / rel);
}

std::string TempDir::read(const std::string& rel) const {
    std::ifstream in(fs::path(path_) / rel, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool TempDir::exists(const std::string& rel) const {
    std::error_code ec;
    return fs::exists(fs::symlink_status(fs::path(path_) / rel, ec));
}

static std::string env_or(const char* name, const std::string& fallback) {
    const char* v = std::getenv(name);
    return v != nullptr && v[0] != '\0' ? std::string(v) : fallback;
}

bool windows_program() {
    return !env_or("VELMORA_RUNNER", "").empty();
}

std::string report(const std::string& lf_text) {
    if (env_or("VELMORA_REPORT_CRLF", "0") != "1")
        return lf_text;
    std::string out;
    for (char c : lf_text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

RunResult run_velmora(const std::string& dir, const std::vector<std::string>& args) {
    std::vector<std::string> argv_s;
    std::istringstream runner(env_or("VELMORA_RUNNER", ""));
    for (std::string word; runner >> word;)
        argv_s.push_back(word);
    argv_s.push_back(fs::absolute(env_or("VELMORA_BIN", VELMORA_DEFAULT_BIN)).string());
    argv_s.insert(argv_s.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& s : argv_s)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    int pipe_fd[2];
    if (pipe(pipe_fd) != 0)
        throw std::runtime_error("pipe failed");
    pid_t pid = fork();
    if (pid == 0) {
        int null_fd = open("/dev/null", O_RDWR);
        dup2(null_fd, 0);
        dup2(pipe_fd[1], 1);
        close(pipe_fd[0]);
        close(pipe_fd[1]);
        if (chdir(dir.c_str()) != 0)
            _exit(126);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(pipe_fd[1]);
    RunResult result{-1, {}};
    char buf[65536];
    for (ssize_t n; (n = read(pipe_fd[0], buf, sizeof buf)) > 0;)
        result.out.append(buf, static_cast<std::size_t>(n));
    close(pipe_fd[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status))
        result.status = WEXITSTATUS(status);
    return result;
}
