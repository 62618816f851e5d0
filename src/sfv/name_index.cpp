// Open-addressing hash set over the build list's names, linear probing.
#include "sfv/name_index.h"

#include <cstring>

namespace {

static_assert((NAME_INDEX_BUCKETS & (NAME_INDEX_BUCKETS - 1)) == 0,
              "bucket count is a power of two");
static_assert(NAME_INDEX_BUCKETS >= 2 * MAX_LISTED_FILES, "index at most half full");

constexpr std::uint32_t BUCKET_MASK = static_cast<std::uint32_t>(NAME_INDEX_BUCKETS - 1);

// FNV-1a: cheap, and spreads names that differ only in a digit.
std::uint32_t name_hash(const char* name) {
    std::uint32_t h = 2166136261u;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p != '\0'; ++p)
        h = (h ^ *p) * 16777619u;
    return h;
}

} // namespace

void name_index_clear(NameIndex* index) {
    std::memset(index->position, 0, sizeof index->position);
}

bool name_listed(const NameIndex* index, char* const* names, const char* candidate) {
    const std::uint32_t h = name_hash(candidate);
    for (std::uint32_t b = h & BUCKET_MASK;; b = (b + 1) & BUCKET_MASK) {
        const std::int32_t pos = index->position[b];
        if (pos == 0)
            return false;
        if (index->hash[b] == h && std::strcmp(names[pos - 1], candidate) == 0)
            return true;
    }
}

void name_index_add(NameIndex* index, char* const* names, int position) {
    const std::uint32_t h = name_hash(names[position]);
    std::uint32_t b = h & BUCKET_MASK;
    while (index->position[b] != 0)
        b = (b + 1) & BUCKET_MASK;
    index->position[b] = position + 1;
    index->hash[b] = h;
}

void name_id_set_clear(NameIdSet* set) {
    set->count = 0;
}

bool name_id_set_add(NameIdSet* set, std::uint64_t id) {
    for (int i = 0; i < set->count; ++i) {
        if (set->id[i] == id)
            return false;
    }
    if (set->count < MAX_REPORTED_IDS)
        set->id[set->count++] = id;
    return true;
}

std::uint64_t name_id_of(const char* name) {
    std::uint64_t h = 14695981039346656037u;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p != '\0'; ++p)
        h = (h ^ *p) * 1099511628211u;
    return h;
}
