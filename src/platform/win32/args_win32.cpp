// The command line split into arguments as the C runtime splits it, and the one case where the
// help screen's own example needs another reading.
#include <windows.h>

#include "platform/win32/win32_paths.h"

namespace {

bool is_blank(wchar_t c) {
    return c == L' ' || c == L'\t';
}

} // namespace

namespace plat_win32 {

int split_command_line(const wchar_t* line, wchar_t* text, wchar_t** args, int max_args,
                       bool* folder_quote) {
    const wchar_t* p = line;
    wchar_t* out = text;
    int count = 0;
    *folder_quote = false;
    // The program's name: up to a blank outside quotes; a backslash is only itself.
    bool quoted = false;
    args[count++] = out;
    for (; *p != L'\0' && (quoted || !is_blank(*p)); ++p) {
        if (*p == L'"')
            quoted = !quoted;
        else
            *out++ = *p;
    }
    *out++ = L'\0';
    for (;;) {
        while (is_blank(*p))
            ++p;
        if (*p == L'\0' || count == max_args)
            break;
        args[count++] = out;
        quoted = false;
        while (*p != L'\0' && (quoted || !is_blank(*p))) {
            int slashes = 0;
            while (p[slashes] == L'\\')
                ++slashes;
            if (p[slashes] != L'"') {
                for (int i = slashes > 0 ? slashes : 1; i > 0; --i)
                    *out++ = *p++;
                continue;
            }
            // c:\Program files\" as typed at the prompt: the folder's backslash, then the
            // closing quote, where the runtime reads an escaped quote that runs on.
            const wchar_t after = p[slashes + 1];
            if (quoted && slashes == 1 && (after == L'\0' || is_blank(after))) {
                *out++ = L'\\';
                p += 2;
                quoted = false;
                *folder_quote = true;
                continue;
            }
            for (int i = 0; i < slashes / 2; ++i)
                *out++ = L'\\';
            p += slashes;
            if (slashes % 2 == 1) {
                *out++ = L'"';
                ++p;
            } else if (quoted && p[1] == L'"') {
                *out++ = L'"'; // "" within quotes
                p += 2;
            } else {
                quoted = !quoted;
                ++p;
            }
        }
        *out++ = L'\0';
    }
    args[count] = nullptr;
    return count;
}

} // namespace plat_win32
