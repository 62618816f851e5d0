// Build mode: one directory's SFV file, and the recursive walk over a tree.
#pragma once

// Lists the distinct plain files of dir (which ends in a backslash) matching any pattern
// among argv[1..] (arguments not starting with "-"), writes dir + sfv_name with one entry
// per file, and reports the directory and the count on standard output.
void build_sfv(const char* sfv_name, const char* dir, int argc, char** argv);

// build_sfv on dir and then, depth first, on every directory below it.
void build_sfv_tree(const char* sfv_name, const char* dir, int argc, char** argv);

// Prints "Error: file name not supported, skipped: " with dir and name, each control
// character of the name shown as "?".
void report_unsupported_name(const char* dir, const char* name);

// Prints "Error: path too long, skipped: " with dir and name, each control character shown
// as "?".
void report_path_too_long(const char* dir, const char* name);
