// An arbitrary command line (arguments split at NUL bytes) through normalisation, the option
// pass and the banners; nothing is built or checked, so a fuzzed "-p=\ -r" walks nowhere.
#include <cstdint>
#include <cstring>
#include <vector>

#include "cli/settings.h"
#include "report/report.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<char> text(data, data + size);
    text.push_back('\0');
    // Argument 0, the program's name, is never read.
    std::vector<char*> argv{text.data(), text.data()};
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == '\0')
            argv.push_back(&text[i + 1]);
    }
    const int argc = static_cast<int>(argv.size());
    normalise_args(argc, argv.data());
    Settings settings;
    reset_settings(&settings);
    char bad_option[3];
    // The normalised arguments stand for the typed ones too, as in main without memory.
    if (parse_options(argc, argv.data(), argv.data(), &settings, bad_option) != PARSE_OK)
        return 0;
    // Whatever -p gave, the build directory ends in a separator once fixed up.
    complete_build_dir(settings.build_dir);
    if (settings.build_dir[std::strlen(settings.build_dir) - 1] != '\\')
        __builtin_trap();
    report_build_banner(settings.sfv_name, settings.build_dir, settings.recursive,
                        settings.patterns.lowered, settings.patterns.count);
    report_check_banner(settings.sfv_to_check);
    return 0;
}
