// Build mode: one directory's SFV file, and the recursive walk over a tree.
#pragma once

// Lists the distinct plain files of dir (which ends in a backslash) matching any pattern
// among argv[1..] (arguments not starting with "-"), writes dir + sfv_name with one entry
// per file, and reports the directory, as shown_dir, and the count on standard output.
// shown_dir is dir as the report shows it, of the same length; typed holds the arguments as
// given, before lower-casing: a pattern's directory part is looked up as typed first.
void build_sfv(const char* sfv_name, const char* dir, const char* shown_dir, int argc, char** argv,
               char** typed);

// build_sfv on dir and then, depth first, on every directory below it.
void build_sfv_tree(const char* sfv_name, const char* dir, const char* shown_dir, int argc,
                    char** argv, char** typed);

// Prints "Error: file name not supported, skipped: " with dir and name, each control
// character of the name shown as "?".
void report_unsupported_name(const char* dir, const char* name);

// Prints "Error: path too long, skipped: " with dir and name, each control character shown
// as "?".
void report_path_too_long(const char* dir, const char* name);
