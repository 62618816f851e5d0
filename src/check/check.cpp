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

// The checksums of the entries in flight; too large for the stack of a Windows thread.
static CrcQueue queue;
static_assert(SFV_NAME_SIZE <= CRC_LABEL_SIZE, "an entry's name comes back whole");

// Reads entries until the queue is full or the file ends, submitting each one's path, with
// its name and listed checksum.
static void read_ahead(SfvReader* reader, const char* dir) {
    char line[SFV_LINE_SIZE];
    char name[SFV_NAME_SIZE];
    char path[MAX_PATH];
    std::uint32_t listed; // set by a complete entry
    while (crc_queue_has_room(&queue) && read_sfv_line(reader, line, sizeof line) > 0) {
        if (is_comment_line(line) || scan_sfv_entry(line, name, &listed) != 2)
            continue;
        // A joined path that does not fit names no file that could be opened. An entry must
        // not lead out to another host (Windows would offer it the user's credentials) or to
        // a device; below an SFV file the user chose on a share, names stay on that share.
        // Either way the empty path submitted instead gives 0.
        if (!str_join(path, sizeof path, dir, name) ||
            (begins_with_two_separators(path) && !begins_with_two_separators(dir)))
            path[0] = '\0';
        crc_queue_submit(&queue, path, name, listed);
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
    crc_queue_begin(&queue, crc_spread_for(dir));
    CrcTaken taken;
    for (;;) {
        read_ahead(&reader, dir);
        if (!crc_queue_take(&queue, &taken))
            break;
        const std::uint32_t crc = taken.result.crc;
        const char* verdict = crc == 0 ? "Missing" : crc == taken.tag ? "OK!" : "Broken";
        std::printf("%s  %s\n", taken.label, verdict);
    }
    crc_queue_end(&queue);
    std::printf("\n");
    plat_fclose(in);
}
