// The report's lines, all written to standard output through stdio.
#include "report/report.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/constants.h"
#include "common/text.h"
#include "platform/platform.h"

// Whether a progress line is shown on the console the report goes to; main thread.
static bool erase_first = false;
// Whether a line of the report could not be written; main thread.
static bool lost = false;
// Whether lines wait for the end of a batch to be written out; main thread.
static bool batching = false;

// Writes out the lines so far. The one place a report that cannot be written is handled: said
// once on standard error, unless nobody reads it any more (a closed pipe), when saying so would
// only be noise.
static void write_out() {
    const bool failed = std::fflush(stdout) != 0 || std::ferror(stdout) != 0;
    if (!failed || lost)
        return;
    lost = true;
    const char* reason = plat_write_error();
    if (reason == nullptr)
        return;
    plat_progress_show("", 0);
    erase_first = false;
    std::fprintf(stderr, "Error: cannot write the report: %s\n", reason);
}

namespace {

// The first statement of every report function. The progress line must not stay beside its
// lines, and they leave the program as it returns (or as the batch it is in ends): a run
// stopped later loses none, and a reader of the file or pipe sees each as soon as it is whole
// (stdio on Windows has no line buffering, so the flush is the program's own).
struct LinesOut {
    LinesOut() {
        if (erase_first) {
            plat_progress_show("", 0);
            erase_first = false;
        }
    }
    ~LinesOut() {
        if (!batching)
            write_out();
    }
    LinesOut(const LinesOut&) = delete;
    LinesOut& operator=(const LinesOut&) = delete;
};

} // namespace

bool report_lost() {
    return lost;
}

void report_batch_begin() {
    if (batching)
        return;
    plat_hold_stops(true);
    batching = true;
}

void report_batch_end() {
    if (!batching)
        return;
    batching = false;
    write_out();
    plat_hold_stops(false);
}

// Whether byte c stands for itself on every terminal: printable ASCII.
static bool plain(unsigned char c) {
    return c >= 0x20 && c < 0x7F;
}

// A name must neither break the report's lines nor act on the terminal that shows them: each
// character a terminal would act on (a control, a bidirectional mark) is shown as one "?".
// Runs of printable ASCII, nearly every name, go out whole.
static void print_shown(const char* text) {
    for (const char* p = text; *p != '\0';) {
        const char* run = p;
        while (plain(static_cast<unsigned char>(*p)))
            ++p;
        std::fwrite(run, 1, static_cast<std::size_t>(p - run), stdout);
        if (*p == '\0')
            break;
        bool control = false;
        const std::size_t len = plat_report_char(p, &control);
        if (control)
            std::putchar('?');
        else
            std::fwrite(p, 1, len, stdout);
        p += len;
    }
}

// A name in code: a UTF-8 one goes to a console whole, elsewhere into the code page.
static void print_name(const char* name, NameCode code) {
    if (code == NameCode::Native)
        return print_shown(name);
    char shown[4 * WORK_PATH_SIZE];
    std::size_t used = 0;
    for (const char* p = name; *p != '\0' && used + 4 < sizeof shown;) {
        std::size_t len = 0;
        const std::uint32_t c = utf8_next(p, &len);
        const bool control = c == UTF8_INVALID || is_terminal_control(c);
        std::memcpy(shown + used, control ? "?" : p, control ? 1 : len);
        used += control ? 1 : len;
        p += len;
    }
    shown[used] = '\0';
    if (plat_console_show_utf8(shown))
        return;
    char native[WORK_PATH_SIZE];
    plat_native_from_utf8(shown, native, sizeof native);
    print_shown(native);
}

// The same into dst (size bytes, at least 1), cut at a whole character where it does not fit.
static void copy_shown(char* dst, std::size_t size, const char* text) {
    std::size_t used = 0;
    for (const char* p = text; *p != '\0';) {
        bool control = false;
        const std::size_t len =
            plain(static_cast<unsigned char>(*p)) ? 1 : plat_report_char(p, &control);
        const std::size_t out = control ? 1 : len;
        if (used + out >= size)
            break;
        std::memcpy(dst + used, control ? "?" : p, out);
        used += out;
        p += len;
    }
    dst[used] = '\0';
}

void report_help() {
    const LinesOut out;
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

void report_version() {
    const LinesOut out;
    std::printf("%s %s\n", PRODUCT_NAME, PRODUCT_VERSION);
}

void report_build_banner(const char* sfv_name, const char* build_dir, bool recursive,
                         char* const* patterns, int pattern_count) {
    const LinesOut out;
    std::printf("%s %s - BUILD INFO\n", PRODUCT_NAME, PRODUCT_VERSION);
    std::printf("\n");
    std::fputs("[*] SFV file   --->  '", stdout);
    print_shown(sfv_name);
    std::fputs("'\n[*] SFV path   --->  '", stdout);
    print_shown(build_dir);
    std::printf("'\n[*] Recursive  --->  %s\n", recursive ? "Yes" : "No");
    std::printf("[*] Pattern    --->  ");
    for (int i = 0; i < pattern_count; ++i) {
        print_shown(patterns[i]);
        std::fputs("  ", stdout);
    }
    std::printf("\n\n");
}

void report_check_banner(const char* sfv_to_check) {
    const LinesOut out;
    std::printf("%s %s - CHECK INFO\n", PRODUCT_NAME, PRODUCT_VERSION);
    std::printf("\n");
    std::fputs("[*] SFV file  --->  '", stdout);
    print_shown(sfv_to_check);
    std::fputs("'\n\n", stdout);
}

void report_job_done() {
    const LinesOut out;
    std::printf("Job done!\n");
}

void report_argument_unsupported(const char* argument) {
    const LinesOut out;
    std::printf("Error: argument not supported: ");
    print_shown(argument);
    std::putchar('\n');
}

void report_value_too_long(const char* option) {
    const LinesOut out;
    std::printf("Error: %s value too long!\n", option);
}

void report_value_missing(const char* option) {
    const LinesOut out;
    std::printf("Error: %s value missing, write %s=%s!\n", option, option,
                option[1] == 'p' ? "DIR" : "FILE");
}

void report_sfv_name_with_folder() {
    const LinesOut out;
    std::printf("Error: -f takes a file name without a folder, give the folder with -p=DIR!\n");
}

void report_cannot_create_redirect_file() {
    const LinesOut out;
    std::printf("Error: cannot create '%s'!\n", REDIRECT_FILE_NAME);
}

void report_checking_path(const char* dir) {
    const LinesOut out;
    std::fputs("Checking path  --->  ", stdout);
    print_shown(dir);
    std::putchar('\n');
}

void report_files_processed(int count) {
    const LinesOut out;
    std::printf("  (%d files processed)\n\n", count);
}

void report_unsupported_name(const char* dir, const char* name, NameCode code) {
    const LinesOut out;
    std::fputs("Error: file name not supported, skipped: ", stdout);
    print_shown(dir);
    print_name(name, code);
    std::putchar('\n');
}

void report_path_too_long(const char* dir, const char* name, bool cut, NameCode code) {
    const LinesOut out;
    std::printf("Error: path too long, skipped: ");
    print_shown(dir);
    print_name(name, code);
    std::fputs(cut ? "...\n" : "\n", stdout);
}

void report_list_incomplete(const char* dir) {
    const LinesOut out;
    std::fputs("Error: cannot read directory, list incomplete: ", stdout);
    print_shown(dir);
    std::putchar('\n');
}

void report_directory_unreadable(const char* dir) {
    const LinesOut out;
    std::fputs("Error: cannot read directory, nothing listed: ", stdout);
    print_shown(dir);
    std::putchar('\n');
}

void report_walk_incomplete(const char* dir) {
    const LinesOut out;
    std::fputs("Error: cannot read directory, walk incomplete: ", stdout);
    print_shown(dir);
    std::putchar('\n');
}

void report_cannot_create_sfv() {
    const LinesOut out;
    std::printf("Error: cannot create SFV file!\n");
}

void report_cannot_write_sfv() {
    const LinesOut out;
    std::printf("Error: cannot write SFV file!\n");
}

void report_too_many_files(int limit) {
    const LinesOut out;
    std::printf("Error: too many files, only the first %d are listed!\n", limit);
}

void report_verdict(const char* name, Verdict verdict) {
    const LinesOut out;
    const char* word = verdict == Verdict::Ok       ? "OK!"
                       : verdict == Verdict::Broken ? "Broken"
                                                    : "Missing";
    print_shown(name);
    std::printf("  %s\n", word);
}

void report_not_an_entry(std::uint64_t line) {
    const LinesOut out;
    std::printf("Error: not an SFV entry, skipped: line %llu\n",
                static_cast<unsigned long long>(line));
}

void report_sfv_missing() {
    const LinesOut out;
    std::printf("Error: SFV file missing!\n\n");
}

void report_sfv_utf16() {
    const LinesOut out;
    std::printf("Error: SFV file is UTF-16, not supported!\n\n");
}

void report_sfv_read_failed() {
    const LinesOut out;
    std::printf("Error: cannot read SFV file, check incomplete!\n");
}

void report_no_sfv_entry() {
    const LinesOut out;
    std::printf("Error: no SFV entry found!\n");
}

void report_check_end() {
    const LinesOut out;
    std::printf("\n");
}

// The reason of each fault, a few fixed words.
static const char* fault_reason(FileFault fault) {
    switch (fault) {
    case FileFault::Denied:
        return "access denied";
    case FileFault::InUse:
        return "in use by another program";
    case FileFault::NoHandles:
        return "too many open files";
    case FileFault::NoMemory:
        return "out of memory";
    case FileFault::Changed:
        return "changed while read";
    case FileFault::ReadError:
    case FileFault::None:
    case FileFault::Own:
        break;
    }
    return "read error";
}

static void report_unread_file(const char* what, const char* dir, const char* name, FileFault fault,
                               NameCode code = NameCode::Native) {
    if (fault == FileFault::None || fault == FileFault::Own)
        return;
    const LinesOut out;
    std::printf("Error: cannot read file%s: ", what);
    print_shown(dir);
    print_name(name, code);
    std::printf(" (%s)\n", fault_reason(fault));
}

void report_unread_listed(const char* dir, const char* name, FileFault fault, NameCode code) {
    report_unread_file(", listed as 00000000", dir, name, fault, code);
}

void report_unread(const char* dir, const char* name, FileFault fault) {
    report_unread_file("", dir, name, fault);
}

// "1.9 of 4.7 GB": both in the size's unit, decimal as disc and drive sizes are given.
static void format_bytes(char* out, std::size_t size, std::uint64_t done, std::uint64_t total) {
    static const char* const UNITS[] = {"B", "KB", "MB", "GB", "TB", "PB", "EB"};
    int unit = 0;
    double scale = 1;
    while (unit < 6 && static_cast<double>(total) >= scale * 1000) {
        scale *= 1000;
        ++unit;
    }
    if (unit == 0)
        std::snprintf(out, size, "%llu of %llu B", static_cast<unsigned long long>(done),
                      static_cast<unsigned long long>(total));
    else
        std::snprintf(out, size, "%.1f of %.1f %s", static_cast<double>(done) / scale,
                      static_cast<double>(total) / scale, UNITS[unit]);
}

// The longest start of name (len bytes) of at most head bytes that ends between characters of
// the code page, and the longest end of at most tail bytes that starts between them.
static void whole_characters(const char* name, std::size_t len, std::size_t* head,
                             std::size_t* tail) {
    std::size_t kept_head = 0;
    std::size_t kept_tail = 0;
    for (std::size_t at = 0, step = 0; at < len; at += step) {
        bool control = false;
        step = plat_report_char(name + at, &control);
        if (at + step <= *head)
            kept_head = at + step;
        if (kept_tail == 0 && len - at <= *tail)
            kept_tail = len - at;
    }
    *head = kept_head;
    *tail = kept_tail;
}

void report_progress(std::uint64_t files_done, std::uint64_t files, bool files_final,
                     const char* raw_name, NameCode code, std::uint64_t done, std::uint64_t size,
                     int columns) {
    char native[WORK_PATH_SIZE];
    if (code == NameCode::Utf8) {
        plat_native_from_utf8(raw_name, native, sizeof native);
        raw_name = native;
    }
    char name[512]; // a name is at most 260 bytes, and shown never longer
    copy_shown(name, sizeof name, raw_name);
    char head[48];
    std::snprintf(head, sizeof head, "[%*llu/%llu%s] ", files_final ? 3 : 1,
                  static_cast<unsigned long long>(files_done + 1 <= files ? files_done + 1 : files),
                  static_cast<unsigned long long>(files), files_final ? "" : "+");
    char tail[64] = "";
    if (size > 0) {
        tail[0] = tail[1] = ' ';
        format_bytes(tail + 2, sizeof tail - 2, done, size);
    }
    // The last column stays free: a line that fills it wraps on some consoles.
    char line[512];
    const std::size_t width = std::min<std::size_t>(columns > 1 ? columns - 1 : 1, sizeof line - 1);
    const std::size_t fixed = std::strlen(head) + std::strlen(tail);
    if (fixed + 8 > width) {
        std::snprintf(line, sizeof line, "%s", head);
    } else {
        const std::size_t room = width - fixed;
        const std::size_t len = std::strlen(name);
        const bool cut = len > room;
        std::size_t keep_head = len;
        std::size_t keep_tail = 0;
        if (cut) {
            keep_head = (room - 3) / 2;
            keep_tail = room - 3 - keep_head;
            whole_characters(name, len, &keep_head, &keep_tail);
        }
        std::snprintf(line, sizeof line, "%s%.*s%s%s%s", head, static_cast<int>(keep_head), name,
                      cut ? "..." : "", name + len - keep_tail, tail);
    }
    // Report lines of a batch go first, or the erase before the next would miss.
    static const bool report_on_console = plat_stdout_console();
    if (report_on_console)
        write_out();
    plat_progress_show(line, std::strlen(line));
    erase_first = report_on_console;
}

void report_progress_erase() {
    plat_progress_show("", 0);
    erase_first = false;
}
