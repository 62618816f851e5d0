// Check mode: verify the files an SFV file lists.
#pragma once

// The directory part of path (up to and including its last separator), or "" when it has
// none. Returns a process-wide buffer that the next call overwrites.
const char* sfv_directory(const char* path);

// Reads the SFV file at sfv_path and prints "OK!", "Broken" or "Missing" for each entry,
// resolving names against the SFV file's directory, then a blank line; a line that is no
// entry, or whose path does not fit, gets an error line in its place. A file that cannot be
// opened gives "Error: SFV file missing!", a UTF-16 file "Error: SFV file is UTF-16, not
// supported!".
void check_sfv(const char* sfv_path);
