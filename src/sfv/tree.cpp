// Recursive build: each directory's SFV file, then its subdirectories, depth first.
#include <cstring>
#include <new>
#include <set>
#include <tuple>

#include "common/constants.h"
#include "common/text.h"
#include "platform/platform.h"
#include "report/report.h"
#include "sfv/tree.h"

static constexpr char SEARCH_ALL[] = "*.*";

// Directories walked so far, by identity, so that links (back up the tree or across it)
// never make the walk build a directory twice, and every walk ends.
struct IdentityLess {
    bool operator()(const DirIdentity& a, const DirIdentity& b) const {
        return std::tie(a.volume, a.index_high, a.index_low) <
               std::tie(b.volume, b.index_high, b.index_low);
    }
};
using VisitedSet = std::set<DirIdentity, IdentityLess>;

// False when id was walked before. Without memory to remember it, the directory is walked:
// the length of the working path still bounds the walk.
static bool first_visit(VisitedSet* set, const DirIdentity* id) {
    try {
        return set->insert(*id).second;
    } catch (const std::bad_alloc&) {
        return true;
    }
}

struct TreeWalk {
    const char* sfv_name;
    const PatternList* patterns;
    VisitedSet visited;
};

// dir is looked up, shown_dir (of the same length) printed.
static void walk_dir(TreeWalk* walk, const char* dir, const char* shown_dir) {
    build_sfv(walk->sfv_name, dir, shown_dir, walk->patterns);

    char work[WORK_PATH_SIZE];
    if (!str_join(work, sizeof work, dir, SEARCH_ALL))
        return;
    FindData found;
    FindSearch* search; // set when an entry is found
    FindStep step = plat_find_first(work, &search, &found);
    for (; step == FindStep::Entry; step = plat_find_next(search, &found)) {
        if ((found.attributes & FIND_ATTR_DIRECTORY) == 0 || std::strcmp(found.name, ".") == 0 ||
            std::strcmp(found.name, "..") == 0)
            continue;
        if ((found.attributes & FIND_ATTR_UNSUPPORTED) != 0) {
            report_unsupported_name(shown_dir, found.name);
            continue;
        }
        // The subdirectory is entered only when its own search path fits as well.
        if (!str_join3(work, sizeof work - (sizeof SEARCH_ALL - 1), dir, found.name, "\\")) {
            report_path_too_long(shown_dir, found.name);
            continue;
        }
        DirIdentity id;
        if (plat_dir_identity(work, &id) && !first_visit(&walk->visited, &id))
            continue;
        char shown_sub[WORK_PATH_SIZE];
        str_join3(shown_sub, sizeof shown_sub, shown_dir, found.name, "\\");
        walk_dir(walk, work, shown_sub);
    }
    // A search that failed midway: the subdirectories it did not give are not walked.
    if (step == FindStep::Failed)
        report_walk_incomplete(shown_dir);
    plat_find_close(search);
}

void build_sfv_tree(const char* sfv_name, const char* dir, const char* shown_dir,
                    const PatternList* patterns) {
    TreeWalk walk{sfv_name, patterns, VisitedSet{}};
    DirIdentity id;
    if (plat_dir_identity(dir, &id))
        first_visit(&walk.visited, &id);
    walk_dir(&walk, dir, shown_dir);
}
