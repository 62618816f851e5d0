// Win32 entry point: the C runtime's own wide arguments (but for the help screen's quoted
// folder, see split_command_line), each converted exactly into the code page. The ANSI arguments
// would come through best-fit letters: "ā" as "a", a fullwidth quote as '"', naming what the user
// never typed.
#include <windows.h>

#include <cwchar>

#include "platform/platform.h"
#include "platform/win32/win32_paths.h"

// The C runtime start-up must hand patterns to the program as typed, never expanded.
extern "C" {
int _dowildcard = 0;
}

namespace {

// A command line holds at most 32767 UTF-16 units; each turns into at most three bytes of the
// code page (a surrogate pair, two units, into four), and each argument takes a NUL.
constexpr int MAX_ARGS = 32768;
constexpr std::size_t TEXT_SIZE = 4 * MAX_ARGS;

char text[TEXT_SIZE + 1]; // the last byte stays NUL
char* args[MAX_ARGS + 1];
bool unsupported[MAX_ARGS];
int arg_count = 0;

// Converts one character (units UTF-16 units) into out, room bytes: its length, or 0 when the
// code page has no exact equivalent.
int convert_exact(const wchar_t* c, int units, char* out, int room) {
    BOOL used_default = FALSE;
    int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, c, units, out, room, nullptr,
                                &used_default);
    if (n > 0)
        return used_default ? 0 : n;
    // A code page that takes neither option (UTF-8): exact when it converts back unchanged.
    n = WideCharToMultiByte(CP_ACP, 0, c, units, out, room, nullptr, nullptr);
    wchar_t back[2];
    return n > 0 && MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, out, n, back, 2) == units &&
                   std::wmemcmp(back, c, static_cast<std::size_t>(units)) == 0
               ? n
               : 0;
}

// Converts wide into out (room bytes, at least one), "?" standing for each character the code
// page lacks; *used is the length written, NUL included. False when a character was missing
// or the text was cut short (never within the system's limit).
bool convert_arg(const wchar_t* wide, char* out, std::size_t room, std::size_t* used) {
    bool exact = true;
    std::size_t len = 0;
    for (const wchar_t* p = wide; *p != L'\0';) {
        const int units = IS_HIGH_SURROGATE(p[0]) && IS_LOW_SURROGATE(p[1]) ? 2 : 1;
        // Room for the longest character and the NUL.
        if (room - len < 5) {
            exact = false;
            break;
        }
        const int n = convert_exact(p, units, out + len, 4);
        if (n == 0) {
            exact = false;
            out[len++] = '?';
        } else {
            len += static_cast<std::size_t>(n);
        }
        p += units;
    }
    out[len] = '\0';
    *used = len + 1;
    return exact;
}

// The command line split again, for the help screen's form of a folder in quotes.
wchar_t split_text[2 * MAX_ARGS + 2];
wchar_t* split_args[MAX_ARGS + 1];

} // namespace

extern "C" int wmain(int argc, wchar_t** argv) {
    // Every other command line keeps the runtime's own split.
    const wchar_t* line = GetCommandLineW();
    bool folder_quote = false;
    if (std::wcslen(line) < MAX_ARGS) {
        const int count =
            plat_win32::split_command_line(line, split_text, split_args, MAX_ARGS, &folder_quote);
        if (folder_quote) {
            argc = count;
            argv = split_args;
        }
    }
    // More than the system can give: the last one kept is refused.
    arg_count = argc < MAX_ARGS ? argc : MAX_ARGS;
    std::size_t at = 0;
    for (int i = 0; i < arg_count; ++i) {
        std::size_t used = 0;
        // Past the end, an empty argument: the NUL after the text.
        args[i] = text + at;
        unsupported[i] = at == TEXT_SIZE || !convert_arg(argv[i], text + at, TEXT_SIZE - at, &used);
        at += used;
    }
    if (arg_count < argc)
        unsupported[arg_count - 1] = true;
    args[arg_count] = nullptr;
    return velmora_main(arg_count, args);
}

bool plat_argument_unsupported(int index) {
    return index >= 0 && index < arg_count && unsupported[index];
}
