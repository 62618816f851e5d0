// Entry point: decides the run from the command line and dispatches to build or check.
#include <cstdio>
#include <cstdlib>

#include "check/check.h"
#include "cli/settings.h"
#include "common/text.h"
#include "platform/platform.h"
#include "report/progress.h"
#include "report/report.h"
#include "sfv/build.h"
#include "sfv/tree.h"

// Written only here; the other modules receive what they need as arguments.
static Settings settings;

// The path as typed when it names something in that letter case, so that of two names
// differing in case only the one typed is taken; otherwise the lowered path, which the
// platform resolves without regard to case.
static const char* lookup_path(const char* typed, const char* lowered) {
    return plat_exists_as_typed(typed) ? typed : lowered;
}

// Whether the report file is the list the run reads, or the one it writes in the build
// directory (the lists of directories below lie elsewhere).
static bool report_would_be_list() {
    if (!settings.build_mode)
        return plat_same_file(lookup_path(settings.typed_sfv_to_check, settings.sfv_to_check),
                              REDIRECT_FILE_NAME);
    char list[WORK_PATH_SIZE];
    return str_join(list, sizeof list, lookup_path(settings.typed_build_dir, settings.build_dir),
                    settings.sfv_name) &&
           plat_same_file(list, REDIRECT_FILE_NAME);
}

// The run after normalisation; typed holds the arguments as they were given.
static void run(int argc, char** argv, char** typed) {
    if (argc == 1)
        settings.show_help = true;

    char bad_option[3];
    const int parsed = parse_options(argc, argv, typed, &settings, bad_option);
    if (parsed != PARSE_OK) {
        if (parsed == PARSE_VALUE_MISSING)
            report_value_missing(bad_option);
        else
            report_value_too_long(bad_option);
        return;
    }
    // A list given with its folder would name files relative to another folder than its own.
    if (settings.build_mode && !settings.show_help && !settings.show_version &&
        plat_directory_length(settings.sfv_name) > 0) {
        report_sfv_name_with_folder();
        return;
    }
    complete_build_dir(settings.build_dir);
    complete_build_dir(settings.typed_build_dir);
    // Opened before anything is printed; if it cannot be, the report stays on the console. It
    // never takes the place of the list being read or written.
    if (settings.redirect && (report_would_be_list() || !plat_redirect_stdout(REDIRECT_FILE_NAME)))
        report_cannot_create_redirect_file();
    progress_start();

    if (settings.show_help) {
        report_help();
        return;
    }
    if (settings.show_version) {
        report_version();
        return;
    }

    if (settings.build_mode) {
        report_build_banner(settings.sfv_name, settings.build_dir, settings.recursive,
                            settings.patterns.lowered, settings.patterns.count);
        const char* dir = lookup_path(settings.typed_build_dir, settings.build_dir);
        if (settings.recursive)
            build_sfv_tree(settings.sfv_name, dir, settings.build_dir, &settings.patterns);
        else
            build_sfv(settings.sfv_name, dir, settings.build_dir, &settings.patterns);
    } else {
        report_check_banner(settings.sfv_to_check);
        check_sfv(lookup_path(settings.typed_sfv_to_check, settings.sfv_to_check));
    }
    report_job_done();
}

int velmora_main(int argc, char** argv) {
    plat_init();
    // Room for the longest batch of verdicts (report.h), a window of 256 names of up to 260
    // characters with their words: stdio's own flush never cuts a line in two.
    std::setvbuf(stdout, nullptr, _IOFBF, std::size_t{1} << 17);
    // An argument not as typed would name other files: nothing is done.
    bool refused = false;
    for (int i = 1; i < argc; ++i) {
        if (plat_argument_unsupported(i)) {
            report_argument_unsupported(argv[i]);
            refused = true;
        }
    }
    if (refused)
        return 0;
    reset_settings(&settings);
    char** typed = copy_args(argc, argv);
    normalise_args(argc, argv);
    // Without memory for the copy, lookups take the lowered arguments, as names are shown.
    run(argc, argv, typed != nullptr ? typed : argv);
    progress_end();
    std::free(typed);
    return 0;
}
