// Recursive build: each directory's SFV file, then its subdirectories, depth first.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/constants.h"
#include "common/text.h"
#include "platform/platform.h"
#include "sfv/build.h"

static constexpr char SEARCH_ALL[] = "*.*";

// Directories walked so far, by identity, so that links (back up the tree or across it)
// never make the walk build a directory twice, and every walk ends. Open addressing; an
// all-zero slot is free, since no known identity is all zero.
struct VisitedSet {
    DirIdentity* slots;
    std::size_t capacity; // a power of two, or 0 before the first insertion
    std::size_t count;
};

static std::size_t identity_hash(const DirIdentity* id) {
    std::uint64_t h = id->volume * 0x9E3779B97F4A7C15u;
    h = (h ^ id->index_high) * 0xBF58476D1CE4E5B9u;
    h = (h ^ id->index_low) * 0x94D049BB133111EBu;
    return static_cast<std::size_t>(h ^ (h >> 31));
}

static bool same_identity(const DirIdentity* a, const DirIdentity* b) {
    return a->volume == b->volume && a->index_high == b->index_high && a->index_low == b->index_low;
}

static bool is_free(const DirIdentity* slot) {
    return slot->volume == 0 && slot->index_high == 0 && slot->index_low == 0;
}

// The slot that holds id, or the free slot where it belongs.
static DirIdentity* find_slot(DirIdentity* slots, std::size_t capacity, const DirIdentity* id) {
    std::size_t s = identity_hash(id) & (capacity - 1);
    while (!is_free(&slots[s]) && !same_identity(&slots[s], id))
        s = (s + 1) & (capacity - 1);
    return &slots[s];
}

// Keeps the set at most half full. False when no memory is left.
static bool make_room(VisitedSet* set) {
    if (2 * (set->count + 1) <= set->capacity)
        return true;
    std::size_t capacity = set->capacity == 0 ? 64 : 2 * set->capacity;
    auto* slots = static_cast<DirIdentity*>(std::calloc(capacity, sizeof(DirIdentity)));
    if (slots == nullptr)
        return false;
    for (std::size_t i = 0; i < set->capacity; ++i) {
        if (!is_free(&set->slots[i]))
            *find_slot(slots, capacity, &set->slots[i]) = set->slots[i];
    }
    std::free(set->slots);
    set->slots = slots;
    set->capacity = capacity;
    return true;
}

// False when id was walked before. Without memory to remember it, the directory is walked:
// the length of the working path still bounds the walk.
static bool first_visit(VisitedSet* set, const DirIdentity* id) {
    if (is_free(id) || !make_room(set))
        return true;
    DirIdentity* slot = find_slot(set->slots, set->capacity, id);
    if (!is_free(slot))
        return false;
    *slot = *id;
    ++set->count;
    return true;
}

struct TreeWalk {
    const char* sfv_name;
    int argc;
    char** argv;
    VisitedSet visited;
};

static void walk_dir(TreeWalk* walk, const char* dir) {
    build_sfv(walk->sfv_name, dir, walk->argc, walk->argv);

    char work[WORK_PATH_SIZE];
    if (!str_join(work, sizeof work, dir, SEARCH_ALL))
        return;
    FindData found;
    FindSearch* search = plat_find_first(work, &found);
    if (search == nullptr)
        return;
    do {
        if ((found.attributes & FIND_ATTR_DIRECTORY) == 0 || std::strcmp(found.name, ".") == 0 ||
            std::strcmp(found.name, "..") == 0)
            continue;
        if ((found.attributes & FIND_ATTR_UNSUPPORTED) != 0) {
            report_unsupported_name(dir, found.name);
            continue;
        }
        // The subdirectory is entered only when its own search path fits as well.
        if (!str_join3(work, sizeof work - (sizeof SEARCH_ALL - 1), dir, found.name, "\\")) {
            std::printf("Error: path too long, skipped: %s%s\n", dir, found.name);
            continue;
        }
        DirIdentity id;
        if (plat_dir_identity(work, &id) && !first_visit(&walk->visited, &id))
            continue;
        walk_dir(walk, work);
    } while (plat_find_next(search, &found));
    plat_find_close(search);
}

void build_sfv_tree(const char* sfv_name, const char* dir, int argc, char** argv) {
    TreeWalk walk{sfv_name, argc, argv, VisitedSet{nullptr, 0, 0}};
    DirIdentity id;
    if (plat_dir_identity(dir, &id))
        first_visit(&walk.visited, &id);
    walk_dir(&walk, dir);
    std::free(walk.visited.slots);
}
