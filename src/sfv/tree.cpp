// Recursive build: each directory's SFV file, then its subdirectories, depth first.
#include <cstdio>
#include <cstring>

#include "common/constants.h"
#include "common/text.h"
#include "platform/platform.h"
#include "sfv/build.h"

// Every level adds at least two characters ("x\") to a path of WORK_PATH_SIZE bytes,
// so the way down never holds more directories than this.
static constexpr int MAX_TREE_DEPTH = WORK_PATH_SIZE / 2 + 1;

struct TreeWalk {
    const char* sfv_name;
    int argc;
    char** argv;
    DirIdentity way[MAX_TREE_DEPTH]; // directories from the chosen one down to the current
    int depth;
};

static bool on_the_way(const TreeWalk* walk, const DirIdentity* id) {
    for (int i = 0; i < walk->depth; ++i) {
        if (walk->way[i].volume == id->volume && walk->way[i].index == id->index)
            return true;
    }
    return false;
}

static void walk_dir(TreeWalk* walk, const char* dir) {
    build_sfv(walk->sfv_name, dir, walk->argc, walk->argv);

    char work[WORK_PATH_SIZE];
    if (!str_join(work, sizeof work, dir, "*.*"))
        return;
    FindData found;
    FindSearch* search = plat_find_first(work, &found);
    if (search == nullptr)
        return;
    do {
        if ((found.attributes & FIND_ATTR_DIRECTORY) == 0 || std::strcmp(found.name, ".") == 0 ||
            std::strcmp(found.name, "..") == 0)
            continue;
        if (!str_join3(work, sizeof work, dir, found.name, "\\")) {
            std::printf("Error: path too long, skipped: %s%s\n", dir, found.name);
            continue;
        }
        // A link back to a directory on the way down would never end.
        DirIdentity id;
        bool known = plat_dir_identity(work, &id);
        if (known && (on_the_way(walk, &id) || walk->depth == MAX_TREE_DEPTH))
            continue;
        if (known)
            walk->way[walk->depth++] = id;
        walk_dir(walk, work);
        if (known)
            --walk->depth;
    } while (plat_find_next(search, &found));
    plat_find_close(search);
}

void build_sfv_tree(const char* sfv_name, const char* dir, int argc, char** argv) {
    TreeWalk walk;
    walk.sfv_name = sfv_name;
    walk.argc = argc;
    walk.argv = argv;
    walk.depth = 0;
    if (plat_dir_identity(dir, &walk.way[0]))
        walk.depth = 1;
    walk_dir(&walk, dir);
}
