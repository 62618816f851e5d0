// One directory's build: list the matching files, then write the SFV file.
#include "sfv/build.h"

#include <cstdlib>
#include <cstring>

#include "checksum/crc_queue.h"
#include "common/constants.h"
#include "common/report.h"
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

enum ListResult { LIST_DONE, LIST_FULL, LIST_FAILED };

// What one directory's listing keeps besides the list itself. Too large for the stack of a
// Windows thread; one build runs at a time.
struct ListIndexes {
    NameIndex listed;
    NameIdSet skipped;
    NameIdSet too_long; // by name_id_of
};
static ListIndexes indexes;

// Adds the plain files of one pattern's search to the list, and to its index; reports the
// unsupported names it meets for the first time. LIST_FULL when a new name found no free
// slot; LIST_FAILED when the directory failed while read.
static ListResult list_pattern(const char* dir, const char* search_path, char** slots, int* count) {
    FindData found;
    FindSearch* search = plat_find_first(search_path, &found);
    if (search == nullptr)
        return plat_find_failed() ? LIST_FAILED : LIST_DONE;
    ListResult result = LIST_DONE;
    bool more = true;
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
        // A file whose path does not fit could not be read: it is named, not listed.
        if (std::strlen(dir) + std::strlen(found.name) >= WORK_PATH_SIZE) {
            if (name_id_set_add(&indexes.too_long, name_id_of(found.name)))
                report_path_too_long(dir, found.name);
            continue;
        }
        if (*count == MAX_LISTED_FILES) {
            result = LIST_FULL;
            break;
        }
        char* copy = copy_name(found.name);
        if (copy == nullptr)
            break;
        slots[*count] = copy;
        name_index_add(&indexes.listed, slots, (*count)++);
    } while ((more = plat_find_next(search, &found)));
    if (!more && plat_find_failed())
        result = LIST_FAILED;
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

// Writes dir + pattern into work (size bytes), the pattern's directory part as typed when
// a directory of that case is there, so that of two differing in case the one typed is
// searched. False when it does not fit.
static bool join_search_path(char* work, std::size_t size, const char* dir, const char* pattern,
                             const char* typed) {
    if (!str_join(work, size, dir, pattern))
        return false;
    const std::size_t part_len = plat_directory_length(pattern);
    if (part_len == 0)
        return true;
    char* part = work + std::strlen(dir);
    const char after = part[part_len];
    std::memcpy(part, typed, part_len);
    part[part_len] = '\0';
    if (!plat_exists_as_typed(work))
        std::memcpy(part, pattern, part_len);
    part[part_len] = after;
    return true;
}

void build_sfv(const char* sfv_name, const char* dir, const char* shown_dir,
               const PatternList* patterns) {
    report_checking_path(shown_dir);

    char* slots[MAX_LISTED_FILES];
    int count = 0;
    name_index_clear(&indexes.listed);
    name_id_set_clear(&indexes.skipped);
    name_id_set_clear(&indexes.too_long);
    bool overflow = false;
    bool failed = false;
    char work[WORK_PATH_SIZE];
    for (int i = 0; i < patterns->count && !failed; ++i) {
        const char* pattern = patterns->lowered[i];
        if (!join_search_path(work, sizeof work, dir, pattern, patterns->typed[i])) {
            report_path_too_long(shown_dir, pattern);
            continue;
        }
        const ListResult listed = list_pattern(shown_dir, work, slots, &count);
        overflow = overflow || listed == LIST_FULL;
        failed = listed == LIST_FAILED;
    }

    // A list with files missing would pass for the whole directory: the old one stays.
    if (failed) {
        report_list_incomplete(shown_dir);
    } else if (count > 0) {
        std::FILE* out = nullptr;
        if (str_join(work, sizeof work, dir, sfv_name))
            out = plat_list_open(work);
        if (out == nullptr) {
            report_cannot_create_sfv();
        } else if (!write_sfv(out, dir, slots, count)) {
            plat_list_abandon(out);
            report_cannot_write_sfv();
        } else if (!plat_list_commit(out)) {
            report_cannot_write_sfv();
        }
    }
    for (int i = 0; i < count; ++i)
        std::free(slots[i]);
    if (overflow)
        report_too_many_files(MAX_LISTED_FILES);
    report_files_processed(count);
}
