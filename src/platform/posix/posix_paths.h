// What the files of the POSIX layer share. The program's paths use "\\" as separator and
// arrive lower-cased, so every path is turned into "/" form and resolved without regard to
// ASCII letter case before it reaches the system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct stat;

namespace plat_posix {

// Longest path the layer hands to the system; program paths are far shorter.
constexpr std::size_t OS_PATH_SIZE = 4096;
using OsPath = char[OS_PATH_SIZE];

// Copies path with every backslash turned into "/". False when it does not fit.
bool to_os_separators(const char* path, OsPath& out);

// Turns a program path into the system path of an existing file or, when a component is
// missing, of the name to create. Returns 0 then; ENAMETOOLONG when it does not fit; EMFILE,
// ENFILE or ENOMEM when a directory could not be read for want of descriptors or memory.
int resolve_path(const char* path, OsPath& out);

// Turns the components of out into the names the kept listings give them, with no system
// call, so that a directory known to hold names in another case costs no failed open per
// name. Stops at the first directory without a kept listing. Returns the dirent type the
// listing gives the last component (DT_UNKNOWN when no listing says).
unsigned char resolve_kept(OsPath& out);

// "." or "..": in every directory, and never listed.
inline bool is_dot_name(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// ---- Directory listings, read once and kept for the run; safe from any thread ----

// An entry of a listing: where its name starts in the names beside it, and its dirent type.
struct ListedName {
    std::uint32_t name;
    unsigned char type;
};

// Writes to out (out_size bytes) the name of the entry of dir (a system path, "" for the
// current directory) that stands for name: name itself when listed, else the first in byte
// order of those equal to it ignoring ASCII case. *type, when given, receives the entry's
// dirent type. Returns 0 then; ENOENT when there is none, or dir cannot be read for a reason
// of its own, or with kept_only, when no listing of dir is kept (none is read then); EMFILE,
// ENFILE or ENOMEM when it could not be read for want of descriptors or memory.
int find_case_variant(const char* dir, const char* name, bool kept_only, char* out,
                      std::size_t out_size, unsigned char* type = nullptr);

// Appends the entries of dir matched by pattern (see wildcard_match), "." and ".." never, in
// NTFS order (letters compared upper-cased, then bytes); their names go to names, each with its
// NUL. False, with nothing appended, when dir cannot be read (*incomplete when it opened but
// failed while read), or with kept_only, when no listing of dir is kept.
bool list_matches(const char* dir, const char* pattern, bool kept_only, std::vector<char>* names,
                  std::vector<ListedName>* entries, bool* incomplete);

// ---- Files this process holds open, by identity (see plat_open_exclusive) ----

// Counts the file st describes as held open until release_hold(owner).
void hold(const struct stat& st, const void* owner);
void release_hold(const void* owner);

// Drops the listing of the directory holding the system path path, after the program made or
// removed a file there, so that no kept listing hides the change.
void forget_listing(const OsPath& path);

// The handlers of the signals that stop a run (installed once): they erase a progress line,
// remove a list being written, and end the process by the signal.
void install_stop_handlers();
// Async-signal-safe: erases the progress line when one is shown.
void erase_progress_for_signal();

} // namespace plat_posix
