// Entry point: decides the run from the command line and dispatches to build or check.
#include <cstdio>

#include "check/check.h"
#include "checksum/crc32.h"
#include "cli/settings.h"
#include "platform/platform.h"
#include "sfv/build.h"

// Written only here; the other modules receive what they need as arguments.
static Settings settings;

int main(int argc, char** argv) {
    plat_init();
    reset_settings(&settings);
    crc_table_init();
    normalise_args(argc, argv);
    if (argc == 1)
        settings.show_help = true;

    char bad_option[3];
    if (parse_options(argc, argv, &settings, bad_option) != PARSE_OK) {
        std::printf("Error: %s value too long!\n", bad_option);
        std::fflush(stdout);
        return 0;
    }
    // Opened before anything is printed; if it cannot be, the report stays on the console.
    if (settings.redirect && !plat_redirect_stdout(REDIRECT_FILE_NAME))
        std::printf("Error: cannot create '%s'!\n", REDIRECT_FILE_NAME);

    if (settings.show_help) {
        print_help();
        std::fflush(stdout);
        return 0;
    }
    fix_sfv_path(settings.sfv_path);

    if (settings.build_mode) {
        print_build_banner(&settings, argc, argv);
        if (settings.recursive)
            build_sfv_tree(settings.sfv_name, settings.sfv_path, argc, argv);
        else
            build_sfv(settings.sfv_name, settings.sfv_path, argc, argv);
    } else {
        print_check_banner(&settings);
        check_sfv(settings.check_file);
    }
    std::printf("Job done!\n");
    std::fflush(stdout);
    return 0;
}
