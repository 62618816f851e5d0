// One directory's build: list the matching files, then write the SFV file.
#include "sfv/build.h"

#include <cstdlib>
#include <cstring>

#include "checksum/crc_queue.h"
#include "common/constants.h"
#include "common/text.h"
#include "platform/platform.h"
#include "sfv/name_index.h"
#include "sfv/sfv_format.h"

static char* copy_name(const char* name) {
    std::size_t size = std::strlen(name) + 1;
    char* copy = static_cast<char*>(std::malloc(size));
    if (copy != nullptr)
        std::memcpy(copy, name, size);
    return copy;
}

void report_unsupported_name(const char* dir, const char* name) {
    std::printf("Error: file name not supported, skipped: %s", dir);
    // A control character would break the report's lines.
    for (const char* p = name; *p != '\0'; ++p)
        std::putchar(static_cast<unsigned char>(*p) < 0x20 ? '?' : *p);
    std::putchar('\n');
}

enum ListResult { LIST_DONE, LIST_FULL };

// What one directory's listing keeps besides the list itself. Too large for the stack of a
// Windows thread; one build runs at a time.
struct ListIndexes {
    NameIndex listed;
    NameIdSet skipped;
};
static ListIndexes indexes;

// Adds the plain files of one pattern's search to the list, and to its index; reports the
// unsupported names it meets for the first time. LIST_FULL when a new name found no free
// slot.
static ListResult list_pattern(const char* dir, const char* search_path, char** slots, int* count) {
    FindData found;
    FindSearch* search = plat_find_first(search_path, &found);
    if (search == nullptr)
        return LIST_DONE;
    ListResult result = LIST_DONE;
    do {
        if ((found.attributes & FIND_ATTR_DIRECTORY) != 0)
            continue;
        if ((found.attributes & FIND_ATTR_UNSUPPORTED) != 0) {
            if (name_id_set_add(&indexes.skipped, found.name_id))
                report_unsupported_name(dir, found.name);
            continue;
        }
        if (name_listed(&indexes.listed, slots, found.name))
            continue;
        if (*count == MAX_LISTED_FILES) {
            result = LIST_FULL;
            break;
        }
        char* copy = copy_name(found.name);
        if (copy == nullptr)
            break;
        slots[*count] = copy;
        name_index_add(&indexes.listed, slots, (*count)++);
    } while (plat_find_next(search, &found));
    plat_find_close(search);
    return result;
}

// The checksums of one directory's build. Too large for the stack of a Windows thread; one
// build runs at a time.
static CrcQueue queue;

// Writes the SFV file for the listed names, checksummed ahead of their lines. False when it
// could not be written whole.
static bool write_sfv(std::FILE* out, const char* dir, char* const* slots, int count) {
    char work[WORK_PATH_SIZE];
    bool ok = write_sfv_header(out);
    crc_queue_begin(&queue, crc_spread_for(dir));
    int submitted = 0;
    CrcTaken taken;
    for (;;) {
        for (; submitted < count && crc_queue_has_room(&queue); ++submitted) {
            // A path that does not fit cannot be opened, as with any unreadable file.
            str_join(work, sizeof work, dir, slots[submitted]);
            crc_queue_submit(&queue, work, slots[submitted], 0);
        }
        if (!ok || !crc_queue_take(&queue, &taken))
            break;
        ok = write_sfv_entry(out, taken.label, taken.result.crc);
    }
    crc_queue_end(&queue);
    return ok;
}

void build_sfv(const char* sfv_name, const char* dir, int argc, char** argv) {
    std::printf("Checking path  --->  %s\n", dir);

    char* slots[MAX_LISTED_FILES];
    int count = 0;
    name_index_clear(&indexes.listed);
    name_id_set_clear(&indexes.skipped);
    bool overflow = false;
    char work[WORK_PATH_SIZE];
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] == '-')
            continue;
        // A search path that does not fit matches nothing.
        if (str_join(work, sizeof work, dir, argv[i]) &&
            list_pattern(dir, work, slots, &count) == LIST_FULL)
            overflow = true;
    }

    if (count > 0) {
        std::FILE* out = nullptr;
        if (str_join(work, sizeof work, dir, sfv_name))
            out = plat_list_open(work);
        if (out == nullptr) {
            std::printf("Error: cannot create SFV file!\n");
        } else if (!write_sfv(out, dir, slots, count)) {
            plat_list_abandon(out);
            std::printf("Error: cannot write SFV file!\n");
        } else if (!plat_list_commit(out)) {
            std::printf("Error: cannot write SFV file!\n");
        }
    }
    for (int i = 0; i < count; ++i)
        std::free(slots[i]);
    if (overflow)
        std::printf("Error: too many files, only the first %d are listed!\n", MAX_LISTED_FILES);
    std::printf("  (%d files processed)\n\n", count);
}
