// Build mode: one directory's SFV file.
#pragma once

// The patterns of the command line in the order given: lowered[i] is matched and shown,
// typed[i] is the same pattern before lower-casing, whose directory part is looked up first.
struct PatternList {
    char* const* lowered;
    char* const* typed;
    int count;
};

// Lists the distinct plain files of dir (which ends in a backslash) matching any of the
// patterns, writes dir + sfv_name with one entry per file, and reports the directory, as
// shown_dir, and the count on standard output. shown_dir is dir as the report shows it, of
// the same length.
void build_sfv(const char* sfv_name, const char* dir, const char* shown_dir,
               const PatternList* patterns);
