// A hashed index over one directory's build list, so the duplicate test of each found name
// costs a probe or two instead of a scan of every name listed before it.
#pragma once

#include <cstdint>

#include "common/constants.h"

// Open addressing at most half full: the smallest power of two of at least twice the list.
constexpr int name_index_buckets() {
    int n = 1;
    while (n < 2 * MAX_LISTED_FILES)
        n *= 2;
    return n;
}
inline constexpr int NAME_INDEX_BUCKETS = name_index_buckets();

// position[b] is 1 + the list position of the name in bucket b, 0 for an empty bucket;
// hash[b] is that name's hash, compared before the names themselves.
struct NameIndex {
    std::int32_t position[NAME_INDEX_BUCKETS];
    std::uint32_t hash[NAME_INDEX_BUCKETS];
};

// Empties the index.
void name_index_clear(NameIndex* index);

// The build list's duplicate test: true when candidate equals, byte for byte, one of the
// names indexed so far (letter case matters); names is the list the indexed positions refer
// to.
bool name_listed(const NameIndex* index, char* const* names, const char* candidate);

// Indexes the name at names[position]. Positions are below MAX_LISTED_FILES, so the index
// never fills.
void name_index_add(NameIndex* index, char* const* names, int position);

// The ids of the unsupported names one directory's build has reported, so that a file that
// several patterns match is reported once. A plain list: such names are rare; past its
// capacity a name may be reported again.
inline constexpr int MAX_REPORTED_IDS = 1024;
struct NameIdSet {
    std::uint64_t id[MAX_REPORTED_IDS];
    int count;
};

// Empties the set.
void name_id_set_clear(NameIdSet* set);

// Adds id; false when it was there already.
bool name_id_set_add(NameIdSet* set, std::uint64_t id);

// An id for a name that is never listed: its 64-bit FNV-1a hash (two names share one with a
// chance of 2^-64).
std::uint64_t name_id_of(const char* name);
