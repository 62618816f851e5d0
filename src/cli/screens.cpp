// What the command line prints before a run: the help screen and the two banners.
#include <cstdio>

#include "cli/settings.h"

void print_help() {
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

void print_build_banner(const Settings* settings) {
    std::printf("%s %s - BUILD INFO\n", PRODUCT_NAME, PRODUCT_VERSION);
    std::printf("\n");
    std::printf("[*] SFV file   --->  '%s'\n", settings->sfv_name);
    std::printf("[*] SFV path   --->  '%s'\n", settings->sfv_path);
    std::printf("[*] Recursive  --->  %s\n", settings->recursive ? "Yes" : "No");
    std::printf("[*] Pattern    --->  ");
    for (int i = 0; i < settings->patterns.count; ++i)
        std::printf("%s  ", settings->patterns.lowered[i]);
    std::printf("\n\n");
}

void print_check_banner(const Settings* settings) {
    std::printf("%s %s - CHECK INFO\n", PRODUCT_NAME, PRODUCT_VERSION);
    std::printf("\n");
    std::printf("[*] SFV file  --->  '%s'\n\n", settings->check_file);
}
