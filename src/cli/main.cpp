// Entry point: decides the run from the command line and dispatches to build or check.
#include <cstdio>
#include <cstdlib>

#include "check/check.h"
#include "checksum/crc32.h"
#include "cli/settings.h"
#include "common/text.h"
#include "platform/platform.h"
#include "sfv/build.h"

// Written only here; the other modules receive what they need as arguments.
static Settings settings;

// The path as typed when it names something in that letter case, so that of two names
// differing in case only the one typed is taken; otherwise the lowered path, which the
// platform resolves without regard to case.
static const char* lookup_path(const char* typed, const char* lowered) {
    return plat_exists_as_typed(typed) ? typed : lowered;
}

// The run after normalisation; typed holds the arguments as they were given.
static void run(int argc, char** argv, char** typed) {
    if (argc == 1)
        settings.show_help = true;

    char bad_option[3];
    if (parse_options(argc, argv, typed, &settings, bad_option) != PARSE_OK) {
        std::printf("Error: %s value too long!\n", bad_option);
        return;
    }
    // Opened before anything is printed; if it cannot be, the report stays on the console.
    if (settings.redirect && !plat_redirect_stdout(REDIRECT_FILE_NAME))
        std::printf("Error: cannot create '%s'!\n", REDIRECT_FILE_NAME);

    if (settings.show_help) {
        print_help();
        return;
    }
    fix_sfv_path(settings.sfv_path);
    fix_sfv_path(settings.typed_sfv_path);

    if (settings.build_mode) {
        print_build_banner(&settings, argc, argv);
        const char* dir = lookup_path(settings.typed_sfv_path, settings.sfv_path);
        if (settings.recursive)
            build_sfv_tree(settings.sfv_name, dir, settings.sfv_path, argc, argv, typed);
        else
            build_sfv(settings.sfv_name, dir, settings.sfv_path, argc, argv, typed);
    } else {
        print_check_banner(&settings);
        check_sfv(lookup_path(settings.typed_check_file, settings.check_file));
    }
    std::printf("Job done!\n");
}

int velmora_main(int argc, char** argv) {
    plat_init();
    // An argument not as typed would name other files: nothing is done.
    bool refused = false;
    for (int i = 1; i < argc; ++i) {
        if (plat_argument_unsupported(i)) {
            std::printf("Error: argument not supported: ");
            print_shown(argv[i]);
            std::putchar('\n');
            refused = true;
        }
    }
    if (refused) {
        std::fflush(stdout);
        return 0;
    }
    reset_settings(&settings);
    char** typed = copy_args(argc, argv);
    normalise_args(argc, argv);
    // Without memory for the copy, lookups take the lowered arguments, as names are shown.
    run(argc, argv, typed != nullptr ? typed : argv);
    std::free(typed);
    std::fflush(stdout);
    return 0;
}
