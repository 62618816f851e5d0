// One directory's build: list the matching files, then write the SFV file.
#include "sfv/build.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "checksum/crc_queue.h"
#include "common/constants.h"
#include "common/text.h"
#include "platform/code_page.h"
#include "platform/platform.h"
#include "report/progress.h"
#include "report/report.h"
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

// What one directory's build works in. Static, not on the stack: the list alone is 128 KiB
// of pointers and its index twice that, where a thread's stack on Windows is 1 MiB and the
// recursive walk runs on it too. One build runs at a time.
struct DirectoryBuild {
    char* names[MAX_LISTED_FILES]; // the list: each name allocated, in the order found
    bool plain[MAX_LISTED_FILES];  // each name's file listed as a plain one (FIND_ATTR_PLAIN)
    NameIndex listed;              // over names
    NameIdSet skipped;             // unsupported names already reported
    NameIdSet too_long;            // by name_id_of
    CrcQueue queue;                // the checksums of the listed files
    // The names' encoding: the program's own, so long as the code page holds every name
    // listed; UTF-8 (the list's too) from the first it cannot hold on.
    NameCode code;
    char dir_utf8[3 * WORK_PATH_SIZE]; // the directory in UTF-8, which always holds it
};
static DirectoryBuild dir_build;

// What one pattern's search lists: found names follow prefix, the pattern's directory part as
// typed (empty for a bare pattern), and are shown after shown_prefix, that part lowered.
struct PatternSearch {
    const char* dir;
    const char* shown_dir;
    const char* prefix;
    const char* shown_prefix;
    const char* sfv_name;
};

// Whether name is one of the files the program writes beside a list while it is made.
static bool is_list_temp_name(const char* name) {
    const std::size_t prefix_len = sizeof PLAT_LIST_TEMP_PREFIX - 1;
    const std::size_t suffix_len = sizeof PLAT_LIST_TEMP_SUFFIX - 1;
    const std::size_t len = std::strlen(name);
    if (len <= prefix_len + suffix_len ||
        std::strncmp(name, PLAT_LIST_TEMP_PREFIX, prefix_len) != 0 ||
        std::strcmp(name + len - suffix_len, PLAT_LIST_TEMP_SUFFIX) != 0)
        return false;
    int dashes = 0;
    for (const char* p = name + prefix_len; p < name + len - suffix_len; ++p)
        dashes += *p == '-';
    return dashes == 1;
}

// A name that an SFV line cannot give back: a leading blank or ";" (read as a comment), a
// trailing blank (lost when read).
static bool list_can_hold(const char* name) {
    const std::size_t len = std::strlen(name);
    return name[0] != ' ' && name[0] != ';' && name[len - 1] != ' ';
}

// The directory paths are joined to in code.
static const char* dir_in(const PatternSearch* ps, NameCode code) {
    return code == NameCode::Utf8 ? dir_build.dir_utf8 : ps->dir;
}

// prefix (in the program's own encoding) and name (in name_code) joined into out (size bytes)
// in code; false when it does not fit.
static bool join_in(char* out, std::size_t size, const char* prefix, const char* name,
                    NameCode name_code, NameCode code) {
    char native[WORK_PATH_SIZE];
    if (code == NameCode::Native)
        return str_join(out, size, prefix, name);
    if (name_code == NameCode::Utf8)
        return plat_utf8_from_native(prefix, native, sizeof native) &&
               str_join(out, size, native, name);
    return str_join(native, sizeof native, prefix, name) &&
           plat_utf8_from_native(native, out, size);
}

// Turns the names listed so far into UTF-8, once a name only UTF-8 can hold joins them. One
// that no longer fits the list or the working path is named and dropped. False when memory
// ran out (the names left unconverted stay listed, to be released).
static bool list_to_utf8(const PatternSearch* ps, int* count) {
    int kept = 0;
    name_index_clear(&dir_build.listed);
    for (int i = 0; i < *count; ++i) {
        char* const name = dir_build.names[i];
        char utf8[WORK_PATH_SIZE];
        const bool fits = plat_utf8_from_native(name, utf8, SFV_NAME_WIDTH) &&
                          std::strlen(dir_build.dir_utf8) + std::strlen(utf8) < WORK_PATH_SIZE;
        char* copy = fits ? copy_name(utf8) : nullptr;
        if (fits && copy == nullptr) {
            for (int j = i; j < *count; ++j) {
                dir_build.plain[kept] = dir_build.plain[j];
                dir_build.names[kept++] = dir_build.names[j];
            }
            *count = kept;
            return false;
        }
        if (!fits)
            report_path_too_long(ps->shown_dir, name);
        std::free(name);
        if (copy != nullptr) {
            dir_build.plain[kept] = dir_build.plain[i];
            dir_build.names[kept] = copy;
            name_index_add(&dir_build.listed, dir_build.names, kept++);
        }
    }
    *count = kept;
    dir_build.code = NameCode::Utf8;
    return true;
}

// Adds the plain files of one pattern's search to the list, and to its index; reports the
// unsupported names it meets for the first time. The list the build writes, under its name in
// any letter case, and the program's temporary files are never listed. LIST_FULL when a new
// name found the list full; LIST_FAILED when the directory failed while read.
static ListResult list_pattern(const PatternSearch* ps, const char* search_path, int* count) {
    FindData found;
    FindSearch* search; // set when an entry is found
    FindStep step = plat_find_first(search_path, &search, &found);
    ListResult result = LIST_DONE;
    char listed[WORK_PATH_SIZE];
    char shown[WORK_PATH_SIZE];
    for (; step == FindStep::Entry; step = plat_find_next(search, &found)) {
        if ((found.attributes & FIND_ATTR_DIRECTORY) != 0 || is_list_temp_name(found.name) ||
            (ps->prefix[0] == '\0' && same_name_any_case(found.name, ps->sfv_name)))
            continue;
        const NameCode found_code =
            (found.attributes & FIND_ATTR_UTF8) != 0 ? NameCode::Utf8 : NameCode::Native;
        join_in(shown, sizeof shown, ps->shown_prefix, found.name, found_code, found_code);
        const bool supported = (found.attributes & FIND_ATTR_UNSUPPORTED) == 0;
        if (!supported || !list_can_hold(found.name)) {
            if (name_id_set_add(&dir_build.skipped, supported ? name_id_of(shown) : found.name_id))
                report_unsupported_name(ps->shown_dir, shown, found_code);
            continue;
        }
        // A file whose path does not fit could not be read: it is named, not listed; nor is
        // a name too long for the list to give back. Both count bytes of the list's encoding.
        const NameCode code = found_code == NameCode::Utf8 ? found_code : dir_build.code;
        if (!join_in(listed, SFV_NAME_WIDTH, ps->prefix, found.name, found_code, code) ||
            std::strlen(dir_in(ps, code)) + std::strlen(listed) >= WORK_PATH_SIZE) {
            if (name_id_set_add(&dir_build.too_long, name_id_of(shown)))
                report_path_too_long(ps->shown_dir, shown, false, found_code);
            continue;
        }
        // The first name only UTF-8 holds turns the list, which a full one need not.
        if (code != dir_build.code && *count < MAX_LISTED_FILES && !list_to_utf8(ps, count)) {
            result = LIST_FAILED;
            break;
        }
        if (name_listed(&dir_build.listed, dir_build.names, listed))
            continue;
        if (*count == MAX_LISTED_FILES) {
            result = LIST_FULL;
            break;
        }
        char* copy = copy_name(listed);
        if (copy == nullptr) {
            // A list short of a file would pass for the whole directory.
            result = LIST_FAILED;
            break;
        }
        dir_build.plain[*count] = (found.attributes & FIND_ATTR_PLAIN) != 0;
        dir_build.names[*count] = copy;
        name_index_add(&dir_build.listed, dir_build.names, (*count)++);
    }
    if (step == FindStep::Failed)
        result = LIST_FAILED;
    plat_find_close(search);
    return result;
}

// Writes the SFV file for the listed names, checksummed ahead of their lines, and names each
// file listed as 00000000 for a fault (dir as shown). False when it could not be written whole.
static bool write_sfv(std::FILE* out, const char* dir, const char* shown_dir, int count, int* own) {
    char* const* names = dir_build.names;
    CrcQueue* queue = &dir_build.queue;
    const NameCode code = dir_build.code;
    const char* const join_dir = code == NameCode::Utf8 ? dir_build.dir_utf8 : dir;
    char work[WORK_PATH_SIZE];
    bool ok = write_sfv_header(out, code == NameCode::Utf8);
    crc_queue_begin(queue, crc_plan_for(dir));
    crc_queue_watch(queue, progress_watch());
    progress_count(static_cast<std::uint64_t>(count), true);
    int submitted = 0;
    CrcTaken taken;
    for (;;) {
        for (; submitted < count && crc_queue_has_room(queue); ++submitted) {
            // A path that does not fit cannot be opened, as with any unreadable file.
            str_join(work, sizeof work, join_dir, names[submitted]);
            crc_queue_submit(queue, work, names[submitted], 0, code, 0,
                             dir_build.plain[submitted] ? PathSeen::ListedPlain
                                                        : PathSeen::Unknown);
        }
        if (!ok || !crc_queue_take(queue, &taken))
            break;
        // A stream of the run's own (the report file, under whatever name or link) would be
        // listed with the checksum of a file that keeps changing.
        if (taken.result.fault == FileFault::Own) {
            ++*own;
            continue;
        }
        ok = write_sfv_entry(out, taken.label, taken.result.crc);
        if (ok)
            report_unread_listed(shown_dir, taken.label, taken.result.fault, code);
    }
    crc_queue_end(queue);
    return ok;
}

// Writes dir + pattern into work (size bytes), the pattern's directory part as typed, unless
// only its lowered form names a directory in that letter case (of two differing in case, the
// one typed is searched; where the system ignores case, it is always the part typed). That
// part also goes into part (size bytes). False when it does not fit.
static bool join_search_path(char* work, char* part, std::size_t size, const char* dir,
                             const char* pattern, const char* typed) {
    const std::size_t part_len = plat_directory_length(pattern);
    part[0] = '\0';
    if (!str_join(work, size, dir, pattern))
        return false;
    if (part_len == 0)
        return true;
    char* in_work = work + std::strlen(dir);
    const char after = in_work[part_len];
    in_work[part_len] = '\0';
    std::memcpy(in_work, pattern, part_len);
    const bool lowered_there = plat_exists_as_typed(work);
    std::memcpy(in_work, typed, part_len);
    if (lowered_there && !plat_exists_as_typed(work))
        std::memcpy(in_work, pattern, part_len);
    std::memcpy(part, in_work, part_len + 1);
    in_work[part_len] = after;
    return true;
}

void build_sfv(const char* sfv_name, const char* dir, const char* shown_dir,
               const PatternList* patterns) {
    report_checking_path(shown_dir);

    int count = 0;
    name_index_clear(&dir_build.listed);
    name_id_set_clear(&dir_build.skipped);
    name_id_set_clear(&dir_build.too_long);
    dir_build.code = NameCode::Native;
    plat_utf8_from_native(dir, dir_build.dir_utf8, sizeof dir_build.dir_utf8);
    int own = 0; // listed, but found to be one of the run's own streams
    bool overflow = false;
    bool failed = false;
    char work[WORK_PATH_SIZE];
    for (int i = 0; i < patterns->count && !failed; ++i) {
        const char* pattern = patterns->lowered[i];
        // Each match of a pattern with a directory part is listed with the part searched.
        char prefix[WORK_PATH_SIZE];
        if (!join_search_path(work, prefix, sizeof work, dir, pattern, patterns->typed[i])) {
            report_path_too_long(shown_dir, pattern);
            continue;
        }
        char shown_prefix[WORK_PATH_SIZE];
        std::snprintf(shown_prefix, sizeof shown_prefix, "%.*s",
                      static_cast<int>(plat_directory_length(pattern)), pattern);
        const PatternSearch search{dir, shown_dir, prefix, shown_prefix, sfv_name};
        const ListResult listed = list_pattern(&search, work, &count);
        overflow = overflow || listed == LIST_FULL;
        failed = listed == LIST_FAILED;
    }

    // A list with files missing would pass for the whole directory: the old one stays.
    if (failed) {
        report_list_incomplete(shown_dir);
    } else if (count == 0 && !plat_dir_readable(dir)) {
        report_directory_unreadable(shown_dir); // most often a path the shell did not expand
    } else if (count > 0) {
        std::FILE* out = nullptr;
        if (str_join(work, sizeof work, dir, sfv_name))
            out = plat_list_open(work);
        if (out == nullptr) {
            report_cannot_create_sfv();
        } else if (!write_sfv(out, dir, shown_dir, count, &own)) {
            plat_list_abandon(out);
            report_cannot_write_sfv();
        } else if (own == count) {
            plat_list_abandon(out); // nothing but the run's own files matched
        } else if (!plat_list_commit(out)) {
            report_cannot_write_sfv();
        }
    }
    for (int i = 0; i < count; ++i)
        std::free(dir_build.names[i]);
    if (overflow)
        report_too_many_files(MAX_LISTED_FILES);
    report_files_processed(count - own);
}
