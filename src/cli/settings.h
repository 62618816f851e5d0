// The run's settings and the command-line pass that fills them.
#pragma once

#include "common/constants.h"
#include "sfv/build.h"

struct Settings {
    unsigned char build_mode;
    unsigned char show_help;
    unsigned char recursive;
    unsigned char redirect;      // -o seen: standard output goes to REDIRECT_FILE_NAME
    unsigned char show_version;  // --version
    char sfv_to_check[MAX_PATH]; // -c: the SFV file a check reads
    char build_dir[MAX_PATH];    // -p: the directory a build lists
    char sfv_name[MAX_PATH];     // -f: the name of the SFV file a build writes in each directory
    // sfv_to_check and build_dir in the letter case typed: what is looked up first.
    char typed_sfv_to_check[MAX_PATH];
    char typed_build_dir[MAX_PATH];
    PatternList patterns; // every argument not starting with "-"
};

enum ParseStatus : int {
    PARSE_OK = 0,
    PARSE_VALUE_TOO_LONG = 1,
    PARSE_VALUE_MISSING = 2, // -c, -f or -p alone, as peers write "-c list.sfv"
};

// Restores every setting to its default.
void reset_settings(Settings* settings);

// A copy of argv[0..argc) in one allocation, released with std::free; nullptr without
// memory.
char** copy_args(int argc, char** argv);

// Lower-cases A..Z in every argument from index 1 (no locale) and turns a leading "/"
// into "-", in place.
void normalise_args(int argc, char** argv);

// Reads the options of the normalised arguments into settings. typed holds the same
// arguments before normalisation, for the typed values. The other arguments are the
// patterns: they are gathered in order at the front of argv[1..] and typed[1..], over
// options already read, and named by settings->patterns.
// "--help" and "--version", the words a user of other tools types first, ask for the help
// screen and the version. On any other status, bad_option receives the option's two characters
// (e.g. "-p") and the settings must not be used.
int parse_options(int argc, char** argv, char** typed, Settings* settings, char bad_option[3]);

// Gives an empty build directory the default and ends it in a backslash, when one fits.
void complete_build_dir(char* build_dir);
