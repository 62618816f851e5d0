// An arbitrary argument vector through normalisation, the option pass, the path fix-up and
// the banners. The build and check procedures are never called: a fuzzed "-p=\ -r" must not
// walk or write anywhere.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/settings.h"
#include "common/constants.h"

namespace {

constexpr int MAX_FUZZ_ARGS = 64;

void check(bool condition) {
    if (!condition)
        __builtin_trap();
}

bool fits(const char* buffer) {
    return std::memchr(buffer, '\0', MAX_PATH) != nullptr;
}

// The value of the last argument that starts with prefix ("-c" and so on), or nullptr.
const char* last_value(int argc, char** argv, char letter) {
    const char* value = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] == '-' && argv[i][1] == letter)
            value = argv[i][2] != '\0' ? argv[i] + 3 : argv[i] + 2;
    }
    return value;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The banners are exercised for what they read, not for what they print.
    if (std::freopen("/dev/null", "w", stdout) == nullptr)
        std::abort();
    return 0;
}

// Input: the arguments after argument 0, separated by NUL bytes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    char* argv[MAX_FUZZ_ARGS + 2];
    char* original[MAX_FUZZ_ARGS + 2];
    static char program[] = "velmora";
    argv[0] = program;
    original[0] = program;
    int argc = 1;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= size && argc <= MAX_FUZZ_ARGS; ++i) {
        if (i < size && data[i] != 0)
            continue;
        std::size_t len = i - start;
        // Exact-size blocks, so any read past an argument's NUL is caught.
        argv[argc] = static_cast<char*>(std::malloc(len + 1));
        original[argc] = static_cast<char*>(std::malloc(len + 1));
        if (argv[argc] == nullptr || original[argc] == nullptr)
            std::abort();
        std::memcpy(argv[argc], data + start, len);
        argv[argc][len] = '\0';
        std::memcpy(original[argc], argv[argc], len + 1);
        ++argc;
        start = i + 1;
    }
    argv[argc] = nullptr;

    normalise_args(argc, argv);
    for (int i = 1; i < argc; ++i) {
        for (std::size_t k = 0; original[i][k] != '\0'; ++k) {
            unsigned char was = static_cast<unsigned char>(original[i][k]);
            unsigned char now = static_cast<unsigned char>(argv[i][k]);
            bool lowered = was >= 'A' && was <= 'Z' && now == was + 32;
            bool dashed = k == 0 && was == '/' && now == '-';
            check(now == was || lowered || dashed);
        }
        check(argv[i][0] != '/');
    }

    Settings settings;
    reset_settings(&settings);
    char bad_option[3] = {'x', 'x', 'x'};
    int status = parse_options(argc, argv, &settings, bad_option);
    if (status != PARSE_OK) {
        check(status == PARSE_VALUE_TOO_LONG && bad_option[0] == '-' && bad_option[2] == '\0');
        check(bad_option[1] == 'c' || bad_option[1] == 'f' || bad_option[1] == 'p');
        // Only a value of at least 259 characters may be refused (258 fit even for -p).
        bool long_value = false;
        for (int i = 1; i < argc; ++i) {
            if (argv[i][0] == '-' && argv[i][1] == bad_option[1] &&
                std::strlen(argv[i]) >= 3 + MAX_PATH - 2)
                long_value = true;
        }
        check(long_value);
    } else {
        check(fits(settings.check_file) && fits(settings.sfv_name) && fits(settings.sfv_path));
        const char* c = last_value(argc, argv, 'c');
        check(settings.build_mode == (c == nullptr ? 1 : 0));
        if (c != nullptr)
            check(std::strcmp(settings.check_file, c) == 0);
        const char* p = last_value(argc, argv, 'p');
        fix_sfv_path(settings.sfv_path);
        std::size_t len = std::strlen(settings.sfv_path);
        check(len > 0 && len < MAX_PATH && settings.sfv_path[len - 1] == '\\');
        if (p != nullptr && p[0] != '\0')
            check(std::strncmp(settings.sfv_path, p, std::strlen(p)) == 0);
        if (settings.show_help)
            print_help();
        else if (settings.build_mode)
            print_build_banner(&settings, argc, argv);
        else
            print_check_banner(&settings);
    }

    for (int i = 1; i < argc; ++i) {
        std::free(original[i]);
        std::free(argv[i]);
    }
    return 0;
}
