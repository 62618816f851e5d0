// Check mode: each entry's file is checksummed again and compared with the listed value.
#include "check/check.h"

#include <cstdio>
#include <cstring>

#include "checksum/crc_queue.h"
#include "common/constants.h"
#include "common/text.h"
#include "platform/platform.h"
#include "report/progress.h"
#include "report/report.h"
#include "sfv/sfv_format.h"

static char sfv_dir[MAX_PATH];

const char* sfv_directory(const char* path) {
    // Bounded by the buffer, though a path that fits MAX_PATH always fits.
    std::snprintf(sfv_dir, sizeof sfv_dir, "%.*s", static_cast<int>(plat_directory_length(path)),
                  path);
    return sfv_dir;
}

// True when path begins with two separators: a network path (\\host\share) or a device
// path (\\?\, \\.\) on Windows.
static bool begins_with_two_separators(const char* path) {
    return is_path_separator(path[0]) && is_path_separator(path[1]);
}

// The checksums of the entries in flight. Static, not on the stack, as a build's list is: it
// would take a large share of a Windows thread's 1 MiB. One check runs at a time.
static CrcQueue check_queue;
static_assert(SFV_NAME_SIZE <= CRC_LABEL_SIZE, "an entry's name comes back whole");

// What a queued item stands for, its kind; its tag is the listed checksum of an entry or the
// number of a line to report. A line reported instead of checked takes its place in the queue
// unread, so that its report comes in line order.
enum class ItemKind : unsigned char { Entry, NotAnEntry, PathTooLong, NameTooLong, LeadsOut };

// Names are looked up in the list's encoding: UTF-8 after a UTF-8 mark, else the program's own
// and, for a name that names nothing so, the other encoding lists come in. Either way the
// report shows the list's own bytes.
struct CheckRun {
    SfvReader reader;
    const char* dir;
    NameCode code;
    char dir_utf8[3 * MAX_PATH + 1]; // dir in UTF-8, which always holds it
    std::uint64_t line;              // number of the line the next piece read belongs to
    std::uint64_t entries;           // lines read as entries, checked or not
};

// The directory names are joined to in code.
static const char* dir_in(const CheckRun* run, NameCode code) {
    return code == NameCode::Utf8 ? run->dir_utf8 : run->dir;
}

// A name that names nothing as read (path), read in the other encoding lists come in: when
// that names a file, its path goes into path and *code becomes UTF-8.
static void try_other_encoding(const CheckRun* run, const char* name, char* path, NameCode* code) {
    char other[WORK_PATH_SIZE];
    char other_path[WORK_PATH_SIZE];
    if (*code == NameCode::Native && plat_list_name_other(name, other, sizeof other) &&
        !plat_file_exists(path) && str_join(other_path, sizeof other_path, run->dir_utf8, other) &&
        plat_file_exists(other_path, NameCode::Utf8)) {
        str_copy(path, WORK_PATH_SIZE, other_path);
        *code = NameCode::Utf8;
    }
}

// Whether an entry's path would lead out to another host (Windows would offer it the user's
// credentials) or to a device; below an SFV file the user chose on a share, names stay there.
static bool leads_out(const char* path, const char* dir) {
    return begins_with_two_separators(path) && !begins_with_two_separators(dir);
}

// For a name with blanks that names nothing: when the line's first field names a file and a
// checksum follows it (a line with a second checksum after the first), that file is taken,
// into name, *listed and path.
static void prefer_first_fields(const CheckRun* run, const char* line, char* name,
                                std::uint32_t* listed, char* path) {
    char first[SFV_NAME_SIZE];
    std::uint32_t crc;
    char first_path[WORK_PATH_SIZE];
    if (scan_sfv_first_fields(line, first, &crc) != SFV_ENTRY ||
        !str_join(first_path, sizeof first_path, dir_in(run, run->code), first) ||
        leads_out(first_path, run->dir) || !plat_file_exists(first_path, run->code))
        return;
    str_copy(name, SFV_NAME_SIZE, first);
    str_copy(path, WORK_PATH_SIZE, first_path);
    *listed = crc;
}

// Reads lines until the queue is full or the file ends, submitting each entry's path, with its
// name and listed checksum, and each line to report in its place.
static void read_ahead(CheckRun* run) {
    char line[SFV_LINE_SIZE];
    char name[SFV_NAME_SIZE];
    char path[WORK_PATH_SIZE];
    std::size_t n;
    while (crc_queue_has_room(&check_queue) &&
           (n = read_sfv_line(&run->reader, line, sizeof line)) > 0) {
        // The pieces of an over-long line keep its number.
        const std::uint64_t number = run->line;
        if (line[n - 1] == '\n')
            ++run->line;
        std::uint32_t listed = 0;
        const int fields =
            is_comment_line(line) ? SFV_NO_NAME : scan_sfv_entry(line, name, &listed);
        if (fields == SFV_NO_NAME)
            continue;
        ItemKind kind = ItemKind::Entry;
        NameCode code = run->code;
        run->entries += fields == SFV_ENTRY || fields == SFV_NAME_TOO_LONG;
        if (fields == SFV_NAME_ONLY) {
            kind = ItemKind::NotAnEntry;
            name[0] = '\0';
        } else if (fields == SFV_NAME_TOO_LONG) {
            // Checked under a name cut short, it would name another file.
            kind = ItemKind::NameTooLong;
        } else if (!str_join(path, sizeof path, dir_in(run, code), name)) {
            kind = ItemKind::PathTooLong;
        } else if (leads_out(path, run->dir)) {
            kind = ItemKind::LeadsOut; // Missing, never opened
        } else {
            try_other_encoding(run, name, path, &code);
            if (code == run->code && std::strpbrk(name, " \t\v\f\r") != nullptr &&
                !plat_file_exists(path, code))
                prefer_first_fields(run, line, name, &listed, path);
        }
        const auto kind_code = static_cast<unsigned char>(kind);
        if (kind == ItemKind::Entry)
            crc_queue_submit(&check_queue, path, name, listed, code, kind_code);
        else
            crc_queue_submit_unread(&check_queue, name, kind == ItemKind::NotAnEntry ? number : 0,
                                    kind_code);
    }
}

static void report_taken(const CheckRun* run, const CrcTaken& taken) {
    switch (static_cast<ItemKind>(taken.kind)) {
    case ItemKind::NotAnEntry:
        report_not_an_entry(taken.tag);
        break;
    case ItemKind::PathTooLong:
        report_path_too_long(run->dir, taken.label);
        break;
    case ItemKind::NameTooLong:
        report_path_too_long(run->dir, taken.label, true);
        break;
    case ItemKind::LeadsOut:
        report_verdict(taken.label, Verdict::Missing);
        break;
    case ItemKind::Entry:
        report_unread(run->dir, taken.label, taken.result.fault);
        report_verdict(taken.label, !taken.result.read              ? Verdict::Missing
                                    : taken.result.crc == taken.tag ? Verdict::Ok
                                                                    : Verdict::Broken);
        break;
    }
}

void check_sfv(const char* sfv_path) {
    CheckRun run;
    run.dir = sfv_directory(sfv_path);
    std::FILE* in = plat_fopen(sfv_path, "rb");
    if (in == nullptr) {
        report_sfv_missing();
        return;
    }
    const SfvText text = sfv_reader_init(&run.reader, in);
    if (text == SfvText::Utf16) {
        report_sfv_utf16();
        plat_fclose(in);
        return;
    }
    run.code = text == SfvText::Utf8 ? NameCode::Utf8 : NameCode::Native;
    plat_utf8_from_native(run.dir, run.dir_utf8, sizeof run.dir_utf8);
    run.line = 1;
    run.entries = 0;
    crc_queue_begin(&check_queue, crc_plan_for(run.dir));
    crc_queue_watch(&check_queue, progress_watch());
    CrcTaken taken;
    // Nobody learns the verdicts of a report that can no longer be written: no file is read.
    while (!report_lost()) {
        read_ahead(&run);
        // Room left means the list is read to its end: the count is final.
        progress_count(crc_queue_submitted(&check_queue), crc_queue_has_room(&check_queue));
        if (!crc_queue_take(&check_queue, &taken))
            break;
        report_taken(&run, taken);
        // While the next file is read already, verdicts go out together; all so far before a
        // wait for the next.
        if (crc_queue_ready(&check_queue))
            report_batch_begin();
        else
            report_batch_end();
    }
    report_batch_end();
    crc_queue_end(&check_queue);
    if (run.reader.failed)
        report_sfv_read_failed();
    else if (run.entries == 0)
        report_no_sfv_entry();
    report_check_end();
    plat_fclose(in);
}
