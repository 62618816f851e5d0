// What the files of the POSIX layer share. The program's paths use "\\" as separator and
// arrive lower-cased, so every path is turned into "/" form and resolved without regard to
// ASCII letter case before it reaches the system.
#pragma once

#include <cstddef>

namespace plat_posix {

// Longest path the layer hands to the system; program paths are far shorter.
constexpr std::size_t OS_PATH_SIZE = 4096;
using OsPath = char[OS_PATH_SIZE];

// Copies path with every backslash turned into "/". False when it does not fit.
bool to_os_separators(const char* path, OsPath& out);

// Turns a program path into the system path of an existing file or, when a component is
// missing, of the name to create. False when it does not fit, or when a directory could not
// be read for want of descriptors (errno EMFILE or ENFILE).
bool resolve_path(const char* path, OsPath& out);

} // namespace plat_posix
