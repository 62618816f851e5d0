// What the files of the Win32 layer share. Program paths are code-page (ANSI) strings; the
// system sees them as full "\\?\" paths.
#pragma once

#include <windows.h>

#include <cstddef>

#include "platform/platform.h"
#include "platform/wildcard.h"

namespace plat_win32 {

// The longest path the system takes, terminating NUL included.
constexpr DWORD SYSTEM_PATH_SIZE = 32768;

inline HANDLE as_handle(PlatHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

inline PlatHandle as_plat(HANDLE handle) {
    return reinterpret_cast<PlatHandle>(handle);
}

// Converts text[0..len), code-page text or UTF-8 as code says, into out (size wide characters)
// and ends it with a NUL; *used is its length. False when it does not fit.
bool widen(const char* text, std::size_t len, wchar_t* out, DWORD size, DWORD* used,
           NameCode code = NameCode::Native);

// The system path of a file or directory the program found or was told of: the full path
// of the directory part, then the last component exactly as given. Win32 path rules would
// strip its trailing dots and spaces (naming another file) and take a device name for the
// device. out holds SYSTEM_PATH_SIZE characters.
bool exact_system_path(const char* path, wchar_t* out, NameCode code = NameCode::Native);

// The system path of a name the user typed (the SFV file, the report file): Win32 path
// rules apply as at the prompt, and the "\\?\" form lifts the length limit.
bool typed_system_path(const char* path, wchar_t* out);

// The "\\?\" form of the full path of wide, with a backslash appended when as_directory;
// *used is its length.
bool full_system_path(const wchar_t* wide, bool as_directory, wchar_t* out, DWORD* used);

// Whether a system path names something below a drive, a share or a volume, as files lie;
// false for a device ("\\.\", "\\?\nul", a volume itself), which even an open can act on.
bool names_file_system_path(const wchar_t* system_path);

bool is_directory(const wchar_t* system_path);

// Counts the file open in file as held by this process until release_hold(owner) (not null):
// plat_open_exclusive refuses it at once, with no wait for it to be let go.
void hold(HANDLE file, const void* owner);
void release_hold(const void* owner);

// The last component of a search path as the wide characters the found names are held to.
// False when it does not convert or fit.
bool wide_pattern(const char* pattern, WildChars* out);

// Whether a found long name matches the pattern by the program's rules, letters compared
// as the system compares names.
bool long_name_matches(const WildChars* pattern, const wchar_t* name);

// Splits the command line line into args (at most max_args, then a null) as the C runtime
// does, into text (room for line and a NUL for each argument), but for one rule: in a quoted
// argument, one backslash before a quote that a blank or the end of the line follows is a
// folder's last backslash, and the quote ends the argument (-p="c:\Program files\").
// *folder_quote tells whether that rule was met. Returns the number of arguments.
int split_command_line(const wchar_t* line, wchar_t* text, wchar_t** args, int max_args,
                       bool* folder_quote);

} // namespace plat_win32
