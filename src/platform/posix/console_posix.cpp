// POSIX standard streams: why a write failed, and the progress line on a terminal's standard
// error, drawn and erased with the carriage return and the erase-to-end-of-line sequence every
// terminal in use knows.
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/text.h"
#include "platform/platform.h"
#include "platform/posix/posix_paths.h"

namespace {

constexpr char ERASE[] = "\r\033[K";

// Written by the main thread, read by a stop signal's handler on any thread.
std::atomic<bool> line_shown{false};

void write_all(const char* data, std::size_t len) {
    while (len > 0) {
        const ssize_t n = write(STDERR_FILENO, data, len);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        data += n;
        len -= static_cast<std::size_t>(n);
    }
}

} // namespace

std::size_t plat_report_char(const char* p, bool* control) {
    std::size_t len;
    const std::uint32_t c = utf8_next(p, &len);
    const auto byte = static_cast<unsigned char>(*p);
    *control = c == UTF8_INVALID ? byte >= 0x80 && byte <= 0x9F : is_terminal_control(c);
    return len;
}

const char* plat_write_error() {
    if (errno == EPIPE)
        return nullptr;
    if (errno == ENOSPC)
        return "disk full";
    // The system's own words, as a phrase within the line ("file too large").
    static char phrase[128];
    std::snprintf(phrase, sizeof phrase, "%s", std::strerror(errno));
    phrase[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(phrase[0])));
    return phrase;
}

bool plat_stderr_console() {
    return isatty(STDERR_FILENO) == 1;
}

bool plat_stdout_console() {
    return isatty(STDOUT_FILENO) == 1;
}

bool plat_console_show_utf8(const char* /*text*/) {
    return false;
}

int plat_console_columns() {
    struct winsize size {};
    return ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
}

void plat_progress_show(const char* text, std::size_t len) {
    if (len == 0) {
        if (!line_shown.load(std::memory_order_relaxed))
            return;
        write_all(ERASE, sizeof ERASE - 1);
        line_shown.store(false, std::memory_order_relaxed);
        return;
    }
    plat_posix::install_stop_handlers();
    // Marked before it is written: a signal in between erases nothing that matters.
    line_shown.store(true, std::memory_order_relaxed);
    char line[1024];
    const std::size_t body = len < sizeof line - 8 ? len : sizeof line - 8;
    line[0] = '\r';
    std::memcpy(line + 1, text, body);
    std::memcpy(line + 1 + body, ERASE + 1, sizeof ERASE - 2);
    write_all(line, body + sizeof ERASE - 1);
}

void plat_posix::erase_progress_for_signal() {
    if (line_shown.load(std::memory_order_relaxed))
        write_all(ERASE, sizeof ERASE - 1);
}
