// Check mode: each entry's file is checksummed again and compared with the listed value.
#include "check/check.h"

#include <cstdio>
#include <cstring>

#include "checksum/crc_queue.h"
#include "common/constants.h"
#include "common/text.h"
#include "platform/platform.h"
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

// The entries whose checksums are in flight, in list order.
struct PendingEntries {
    char name[CRC_QUEUE_WINDOW][SFV_NAME_SIZE];
    std::uint32_t listed[CRC_QUEUE_WINDOW];
    int first;
    int count;
};

// Reads entries until the queue is full or the file ends, submitting each one's path.
static void read_ahead(SfvReader* reader, const char* dir, PendingEntries* pending) {
    char line[SFV_LINE_SIZE];
    char path[MAX_PATH];
    while (crc_queue_has_room() && read_sfv_line(reader, line, sizeof line) > 0) {
        const int at = (pending->first + pending->count) % CRC_QUEUE_WINDOW;
        if (is_comment_line(line) ||
            scan_sfv_entry(line, pending->name[at], &pending->listed[at]) != 2)
            continue;
        // A joined path that does not fit names no file that could be opened. An entry must
        // not lead out to another host (Windows would offer it the user's credentials) or to
        // a device; below an SFV file the user chose on a share, names stay on that share.
        // Either way the empty path submitted instead gives 0.
        if (!str_join(path, sizeof path, dir, pending->name[at]) ||
            (begins_with_two_separators(path) && !begins_with_two_separators(dir)))
            path[0] = '\0';
        crc_queue_submit(path);
        ++pending->count;
    }
}

void check_sfv(const char* sfv_path) {
    const char* dir = sfv_directory(sfv_path);
    std::FILE* in = plat_fopen(sfv_path, "rb");
    if (in == nullptr) {
        std::printf("Error: SFV file missing!\n\n");
        return;
    }
    SfvReader reader;
    sfv_reader_init(&reader, in);
    // Too large for the stack of a Windows thread. Empty at first, and again once a check
    // has taken every entry.
    static PendingEntries pending;
    crc_queue_begin(dir);
    for (;;) {
        read_ahead(&reader, dir, &pending);
        if (pending.count == 0)
            break;
        const std::uint32_t crc = crc_queue_take();
        const std::uint32_t listed = pending.listed[pending.first];
        const char* verdict = crc == 0 ? "Missing" : crc == listed ? "OK!" : "Broken";
        std::printf("%s  %s\n", pending.name[pending.first], verdict);
        pending.first = (pending.first + 1) % CRC_QUEUE_WINDOW;
        --pending.count;
    }
    crc_queue_end();
    std::printf("\n");
    plat_fclose(in);
}
