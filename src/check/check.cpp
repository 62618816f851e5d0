// Check mode: each entry's file is checksummed again and compared with the listed value.
#include "check/check.h"

#include <cstdio>
#include <cstring>

#include "checksum/crc32.h"
#include "common/constants.h"
#include "common/text.h"
#include "platform/platform.h"
#include "sfv/sfv_format.h"

static char sfv_dir[MAX_PATH];

const char* sfv_directory(const char* path) {
    std::size_t len = plat_directory_length(path);
    if (len >= sizeof sfv_dir)
        len = 0; // cannot happen for a path that fits MAX_PATH; keep the buffer safe anyway
    std::memcpy(sfv_dir, path, len);
    sfv_dir[len] = '\0';
    return sfv_dir;
}

// True when path begins with two separators: a network path (\\host\share) or a device
// path (\\?\, \\.\) on Windows.
static bool begins_with_two_separators(const char* path) {
    return (path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/');
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
    char line[SFV_LINE_SIZE];
    char name[SFV_NAME_SIZE];
    char path[MAX_PATH];
    while (read_sfv_line(&reader, line, sizeof line) > 0) {
        std::uint32_t listed = 0;
        if (is_comment_line(line) || scan_sfv_entry(line, name, &listed) != 2)
            continue;
        // A joined path that does not fit names no file that could be opened. An entry must
        // not lead out to another host (Windows would offer it the user's credentials) or to
        // a device; below an SFV file the user chose on a share, names stay on that share.
        std::uint32_t crc = 0;
        if (str_join(path, sizeof path, dir, name) &&
            (!begins_with_two_separators(path) || begins_with_two_separators(dir)))
            crc = file_crc32(path);
        const char* verdict = crc == 0 ? "Missing" : crc == listed ? "OK!" : "Broken";
        std::printf("%s  %s\n", name, verdict);
    }
    std::printf("\n");
    plat_fclose(in);
}
