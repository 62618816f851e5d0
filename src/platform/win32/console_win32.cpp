// Windows standard streams: why a write failed, and the progress line on a console's standard
// error, drawn over with spaces, which every console shows whatever its handling of escape
// sequences, and written as wide text, which every console shows whatever its code page (it
// keeps its own when the report is redirected).
#include <windows.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/text.h"
#include "platform/code_page.h"
#include "platform/platform.h"

namespace {

// Columns the line shown takes, 0 when none. Written by the main thread, read by the console
// event handler on the thread the system starts for it.
std::atomic<int> shown_width{0};

HANDLE error_handle() {
    return GetStdHandle(STD_ERROR_HANDLE);
}

// Code-page text (UTF-8 with utf8) on the console handle, as wide text.
bool write_wide(HANDLE console, const char* text, std::size_t len, bool utf8) {
    wchar_t wide[1024];
    const int n = len == 0 ? 0
                           : MultiByteToWideChar(utf8 ? CP_UTF8 : CP_ACP, 0, text,
                                                 static_cast<int>(len), wide, 1024);
    DWORD written = 0;
    return n > 0 && WriteConsoleW(console, wide, static_cast<DWORD>(n), &written, nullptr) != 0;
}

void write_text(const char* text, std::size_t len) {
    write_wide(error_handle(), text, len, false);
}

// "\r", width spaces, "\r": the line's columns blanked.
void blank(int width) {
    char spaces[512];
    const std::size_t n = width < 510 ? static_cast<std::size_t>(width) : 510;
    spaces[0] = '\r';
    std::memset(spaces + 1, ' ', n);
    spaces[n + 1] = '\r';
    write_text(spaces, n + 2);
}

// Whether the main thread has report lines pending, and whether a console event is ending the
// process. Each is stored before the other is read (sequentially consistent), so at least one
// of the two threads sees the other's: the event waits for the lines, or the main thread stops.
std::atomic<bool> report_held{false};
std::atomic<bool> stopping{false};

// Ctrl-C, Ctrl-Break, a closed window: the report lines pending go out first, then the progress
// line goes before the process ends. A draw on the main thread at that moment may still put part
// of a line back.
BOOL WINAPI on_console_event(DWORD) {
    stopping.store(true);
    while (report_held.load())
        Sleep(1);
    const int width = shown_width.exchange(0);
    if (width > 0)
        blank(width);
    return FALSE; // the default handling then ends the process
}

void set_handler() {
    static bool handler_set = false;
    if (!handler_set)
        handler_set = SetConsoleCtrlHandler(on_console_event, TRUE) != 0;
}

} // namespace

std::size_t plat_report_char(const char* p, bool* control) {
    std::size_t len;
    if (GetACP() == CP_UTF8) {
        const std::uint32_t c = utf8_next(p, &len);
        *control = c == UTF8_INVALID || is_terminal_control(c);
        return len;
    }
    // In a single-byte code page such as 1252, 0x80-0x9F are printable, save the few it leaves
    // undefined, which stand for the C1 controls of the same value.
    len = char_bytes(p);
    wchar_t wide[2];
    const int n = MultiByteToWideChar(CP_ACP, 0, p, static_cast<int>(len), wide, 2);
    *control = n < 1 || is_terminal_control(wide[0]);
    return len;
}

// The C runtime keeps the system's code for a failed write in _doserrno; a write the system
// took none of without an error (a full disk, on some file systems) it gives as ENOSPC alone.
const char* plat_write_error() {
    switch (_doserrno) {
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA: // the reading end is being closed
    case ERROR_PIPE_NOT_CONNECTED:
        return nullptr;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return "disk full";
    case ERROR_FILE_TOO_LARGE:
        return "file too large";
    case ERROR_ACCESS_DENIED:
        return "access denied";
    case ERROR_NOT_READY:
        return "device not ready";
    case ERROR_NETNAME_DELETED:
    case ERROR_UNEXP_NET_ERR:
        return "network connection lost";
    default:
        break;
    }
    if (errno == EPIPE)
        return nullptr;
    if (errno == ENOSPC)
        return "disk full";
    static char phrase[40];
    std::snprintf(phrase, sizeof phrase, "system error %lu", _doserrno);
    return phrase;
}

bool plat_stderr_console() {
    DWORD mode = 0;
    return GetConsoleMode(error_handle(), &mode) != 0;
}

bool plat_stdout_console() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

bool plat_console_show_utf8(const char* text) {
    if (!plat_stdout_console())
        return false;
    // What the report wrote before goes first.
    std::fflush(stdout);
    write_wide(GetStdHandle(STD_OUTPUT_HANDLE), text, std::strlen(text), true);
    return true;
}

int plat_console_columns() {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(error_handle(), &info))
        return 80;
    const int width = info.srWindow.Right - info.srWindow.Left + 1;
    return width > 0 ? width : 80;
}

void plat_hold_stops(bool hold) {
    set_handler();
    report_held.store(hold);
    // The process is ending: no more lines may start, and it ends while this thread waits.
    if (hold && stopping.load()) {
        report_held.store(false);
        for (;;)
            Sleep(INFINITE);
    }
}

void plat_thread_takes_no_stops() {}

void plat_progress_show(const char* text, std::size_t len) {
    if (len > 0)
        set_handler();
    const int old_width = shown_width.load();
    if (len == 0) {
        if (old_width > 0)
            blank(old_width);
        shown_width.store(0);
        return;
    }
    // The new line, then spaces over what is left of the old one.
    char line[1024];
    const std::size_t body = len < 500 ? len : 500;
    line[0] = '\r';
    std::memcpy(line + 1, text, body);
    std::size_t end = body + 1;
    for (std::size_t col = body; col < static_cast<std::size_t>(old_width) && end < sizeof line;
         ++col)
        line[end++] = ' ';
    shown_width.store(static_cast<int>(body));
    write_text(line, end);
}
