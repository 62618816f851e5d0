// Settings: defaults, argument normalisation and the option pass.
#include "cli/settings.h"

#include <cstdlib>
#include <cstring>

#include "common/text.h"
#include "platform/code_page.h"

void reset_settings(Settings* settings) {
    std::memset(settings, 0, sizeof *settings);
    settings->build_mode = true;
    str_copy(settings->sfv_name, sizeof settings->sfv_name, DEFAULT_SFV_NAME);
    // Also given again by complete_build_dir to an empty path: a fault in either alone must not
    // turn the default into the root directory.
    str_copy(settings->build_dir, sizeof settings->build_dir, DEFAULT_BUILD_DIR);
    str_copy(settings->typed_build_dir, sizeof settings->typed_build_dir, DEFAULT_BUILD_DIR);
}

char** copy_args(int argc, char** argv) {
    std::size_t bytes = sizeof(char*) * static_cast<std::size_t>(argc);
    for (int i = 0; i < argc; ++i)
        bytes += std::strlen(argv[i]) + 1;
    char** copy = static_cast<char**>(std::malloc(bytes));
    if (copy == nullptr)
        return nullptr;
    char* text = reinterpret_cast<char*>(copy + argc);
    for (int i = 0; i < argc; ++i) {
        const std::size_t size = std::strlen(argv[i]) + 1;
        std::memcpy(text, argv[i], size);
        copy[i] = text;
        text += size;
    }
    return copy;
}

void normalise_args(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        // The second byte of a double-byte character is no letter, whatever its value.
        for (char* p = argv[i]; *p != '\0'; p += char_bytes(p)) {
            if (char_bytes(p) == 1)
                *p = static_cast<char>(ascii_lower(static_cast<unsigned char>(*p)));
        }
        if (argv[i][0] == '/')
            argv[i][0] = '-';
    }
}

// Copies the value of a value-taking option (from its fourth character) into dst, MAX_PATH
// bytes, with keep bytes to spare.
static bool copy_value(const char* arg, char* dst, std::size_t keep = 0) {
    return str_copy(dst, MAX_PATH - keep, arg + 3);
}

int parse_options(int argc, char** argv, char** typed, Settings* settings, char bad_option[3]) {
    int patterns = 0;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (arg[0] != '-') {
            // The only place an argument is told to be a pattern. Position 1 + patterns is at
            // most i; typed may be argv itself.
            argv[1 + patterns] = argv[i];
            typed[1 + patterns] = typed[i];
            ++patterns;
            continue;
        }
        if (std::strcmp(arg, "--help") == 0)
            settings->show_help = true;
        if (std::strcmp(arg, "--version") == 0)
            settings->show_version = true;
        const bool takes_value = arg[1] == 'c' || arg[1] == 'f' || arg[1] == 'p';
        if (takes_value && arg[2] == '\0') {
            // The next word would become a pattern and the value empty: nothing is done.
            bad_option[0] = '-';
            bad_option[1] = arg[1];
            bad_option[2] = '\0';
            return PARSE_VALUE_MISSING;
        }
        bool fits = true;
        switch (arg[1]) {
        case '?':
        case 'h':
            settings->show_help = true;
            break;
        case 'c':
            // Normalisation keeps every length: both copies fit or neither does.
            fits = copy_value(arg, settings->sfv_to_check) &&
                   copy_value(typed[i], settings->typed_sfv_to_check);
            settings->build_mode = false;
            break;
        case 'f':
            fits = copy_value(arg, settings->sfv_name);
            break;
        case 'p': {
            // Keep a byte for the backslash complete_build_dir appends, unless one is there
            // already.
            std::size_t len = std::strlen(arg);
            bool ends_in_separator = len > 3 && ends_in_backslash(arg);
            fits = copy_value(arg, settings->build_dir, ends_in_separator ? 0 : 1) &&
                   copy_value(typed[i], settings->typed_build_dir, ends_in_separator ? 0 : 1);
            break;
        }
        case 'r':
            settings->recursive = true;
            break;
        case 'o':
            settings->redirect = true;
            break;
        default:
            break;
        }
        if (!fits) {
            bad_option[0] = '-';
            bad_option[1] = arg[1];
            bad_option[2] = '\0';
            return PARSE_VALUE_TOO_LONG;
        }
    }
    settings->patterns = PatternList{argv + 1, typed + 1, patterns};
    return PARSE_OK;
}

void complete_build_dir(char* build_dir) {
    if (build_dir[0] == '\0')
        str_copy(build_dir, MAX_PATH, DEFAULT_BUILD_DIR);
    std::size_t len = std::strlen(build_dir);
    if (!ends_in_backslash(build_dir) && len + 1 < MAX_PATH) {
        build_dir[len] = '\\';
        build_dir[len + 1] = '\0';
    }
}
