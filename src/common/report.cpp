// The report's lines, all written to standard output through stdio.
#include "common/report.h"

#include <cstdio>

#include "common/constants.h"

// A name must not break the report's lines: each control character is shown as "?".
static void print_shown(const char* text) {
    for (const char* p = text; *p != '\0'; ++p)
        std::putchar(static_cast<unsigned char>(*p) < 0x20 ? '?' : *p);
}

void report_help() {
    std::printf("%s %s - HELP INFO\n", PRODUCT_NAME, PRODUCT_VERSION);
    std::fputs("\n"
               "..::[ BUILD PARAM ]::..\n"
               "\n"
               "  -f=\"(file)\"    Set SFV output filename (default = 'dunel.sfv').\n"
               "  -p=\"(path)\"    Build SFV of a specified directory (default = current dir).\n"
               "  -r             Recursive directory. Build SFV of specified (or current) dir\n"
               "                 and all its sub-folders. Each directory has its own SFV file.\n"
               "  Pattern match  Standard DOS wildcard * and ? are allowed for search pattern.\n"
               "\n"
               "\n"
               "..::[ CHECK PARAM ]::..\n"
               "\n"
               "  -c=\"(file)\"    Check CRC of the specified SFV file.\n"
               "\n"
               "\n"
               "..::[ MISC PARAM ]::..\n"
               "\n",
               stdout);
    std::printf("  -o             Redirect output text to the '%s' file.\n", REDIRECT_FILE_NAME);
    std::fputs(
        "  -h, -?         Show this help text.\n"
        "\n"
        "\n"
        "..::[ NOTES ]::..\n"
        "\n"
        "  All path and files name must be enclosed in \" \" if it contains spaces.\n"
        "  Both - and / are allowed like option parameters.\n"
        "\n"
        "\n"
        "..::[ EXAMPLES ]::..\n"
        "\n"
        " Dunel_SFV.exe -f=check.sfv *.rar itz*.r?? *hiv*.zip\n"
        "  (Build SFV of all the matching files in the specified pattern inside cur dir)\n"
        "\n"
        " Dunel_SFV.exe -r -p=\"c:\\Program files\\\" -f=\"Check file.sfv\" *.*\n"
        "  (Build SFV of all the files in \"c:\\Program files\\\", recursively)\n"
        "\n"
        " Dunel_SFV.exe *.0??\n"
        "  (Build SFV of all the matching files of *.0?? pattern, in current dir)\n"
        "\n"
        " Dunel_SFV.exe -c=check.sfv -o\n"
        "  (Check CRC of 'check.sfv' file in curret dir. Results are in 'dunout.txt')\n"
        "\n"
        " Dunel_SFV.exe -c=d:\\Files_Data\\crc.sfv\n"
        "  (Check CRC of 'crc.sfv' file in 'd:\\Files_Data')\n"
        "\n"
        "\n"
        "\n"
        "  Velmora builds SFV files (file names with their CRC-32) and checks files against them.\n"
        "  Written by the Velmora developers; free to use and share.\n",
        stdout);
}

void report_build_banner(const char* sfv_name, const char* build_dir, bool recursive,
                         char* const* patterns, int pattern_count) {
    std::printf("%s %s - BUILD INFO\n", PRODUCT_NAME, PRODUCT_VERSION);
    std::printf("\n");
    std::printf("[*] SFV file   --->  '%s'\n", sfv_name);
    std::printf("[*] SFV path   --->  '%s'\n", build_dir);
    std::printf("[*] Recursive  --->  %s\n", recursive ? "Yes" : "No");
    std::printf("[*] Pattern    --->  ");
    for (int i = 0; i < pattern_count; ++i)
        std::printf("%s  ", patterns[i]);
    std::printf("\n\n");
}

void report_check_banner(const char* sfv_to_check) {
    std::printf("%s %s - CHECK INFO\n", PRODUCT_NAME, PRODUCT_VERSION);
    std::printf("\n");
    std::printf("[*] SFV file  --->  '%s'\n\n", sfv_to_check);
}

void report_job_done() {
    std::printf("Job done!\n");
}

void report_argument_unsupported(const char* argument) {
    std::printf("Error: argument not supported: ");
    print_shown(argument);
    std::putchar('\n');
}

void report_value_too_long(const char* option) {
    std::printf("Error: %s value too long!\n", option);
}

void report_cannot_create_redirect_file() {
    std::printf("Error: cannot create '%s'!\n", REDIRECT_FILE_NAME);
}

void report_checking_path(const char* dir) {
    std::printf("Checking path  --->  %s\n", dir);
}

void report_files_processed(int count) {
    std::printf("  (%d files processed)\n\n", count);
}

void report_unsupported_name(const char* dir, const char* name) {
    std::printf("Error: file name not supported, skipped: %s", dir);
    print_shown(name);
    std::putchar('\n');
}

void report_path_too_long(const char* dir, const char* name) {
    std::printf("Error: path too long, skipped: ");
    print_shown(dir);
    print_shown(name);
    std::putchar('\n');
}

void report_list_incomplete(const char* dir) {
    std::printf("Error: cannot read directory, list incomplete: %s\n", dir);
}

void report_walk_incomplete(const char* dir) {
    std::printf("Error: cannot read directory, walk incomplete: %s\n", dir);
}

void report_cannot_create_sfv() {
    std::printf("Error: cannot create SFV file!\n");
}

void report_cannot_write_sfv() {
    std::printf("Error: cannot write SFV file!\n");
}

void report_too_many_files(int limit) {
    std::printf("Error: too many files, only the first %d are listed!\n", limit);
}

void report_verdict(const char* name, Verdict verdict) {
    const char* word = verdict == Verdict::Ok       ? "OK!"
                       : verdict == Verdict::Broken ? "Broken"
                                                    : "Missing";
    std::printf("%s  %s\n", name, word);
}

void report_not_an_entry(std::uint64_t line) {
    std::printf("Error: not an SFV entry, skipped: line %llu\n",
                static_cast<unsigned long long>(line));
}

void report_sfv_missing() {
    std::printf("Error: SFV file missing!\n\n");
}

void report_sfv_utf16() {
    std::printf("Error: SFV file is UTF-16, not supported!\n\n");
}

void report_check_end() {
    std::printf("\n");
}
