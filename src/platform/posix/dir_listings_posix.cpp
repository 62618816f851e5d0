// Directory listings kept for the run, sorted so that names equal but for ASCII letter case
// stand together: a name missing in its given case, or a search, reads its directory once
// per run instead of once per name.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <new>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/text.h"
#include "platform/posix/posix_paths.h"
#include "platform/wildcard.h"

using plat_posix::ListedName;

namespace {

// Past this, the oldest listings go. A directory of 16384 names takes about 300 KiB. Each
// listing is also charged a share of its own, so that at most 1024 are kept: that bounds
// the scan that drops a changed directory's listings.
constexpr std::size_t LISTINGS_MAX_BYTES = std::size_t{32} << 20;
constexpr std::size_t LISTING_SHARE = LISTINGS_MAX_BYTES / 1024;

// One directory's names, each with its NUL, and its entries in NTFS order. Kept by the path
// it was read through; its identity tells which listings a change in the directory stales.
struct Listing {
    std::pair<dev_t, ino_t> id;
    std::uint64_t made;
    std::vector<char> names;
    std::vector<ListedName> entries;
};

using ListingMap = std::map<std::string, Listing, std::less<>>;

// Shared by the search and by the checksum workers resolving paths at the same time: a lookup
// in the listings kept takes the lock shared, so that workers never wait for each other.
struct ListingCache {
    std::shared_mutex lock;
    ListingMap by_dir;
    std::size_t bytes;
    std::uint64_t made;
};
ListingCache kept_listings;

// Compares the names with their ASCII letters upper-cased: negative, zero or positive.
int compare_folded(const char* a, const char* b) {
    const unsigned char* x = reinterpret_cast<const unsigned char*>(a);
    const unsigned char* y = reinterpret_cast<const unsigned char*>(b);
    for (; ascii_upper(*x) == ascii_upper(*y); ++x, ++y) {
        if (*x == '\0')
            return 0;
    }
    return ascii_upper(*x) - ascii_upper(*y);
}

// The order NTFS gives ASCII names: letters compared upper-cased, then byte by byte. Names
// equal but for case are thus neighbours, the first in byte order ahead.
bool ntfs_before(const char* a, const char* b) {
    const int folded = compare_folded(a, b);
    return folded < 0 || (folded == 0 && std::strcmp(a, b) < 0);
}

// The first eight bytes of name with ASCII letters upper-cased, the first the most
// significant, and zeros past its end: keys compare as compare_folded does those bytes.
std::uint64_t folded_key(const char* name) {
    std::uint64_t key = 0;
    for (int i = 0; i < 8; ++i) {
        key <<= 8;
        if (*name != '\0')
            key |= ascii_upper(static_cast<unsigned char>(*name++));
    }
    return key;
}

std::size_t size_of(const Listing& listing) {
    return LISTING_SHARE + listing.names.size() + listing.entries.size() * sizeof(ListedName);
}

// What reading a directory gave: its listing whole, or why not; an errno value when it did not
// open.
constexpr int LISTING_WHOLE = 0;
constexpr int LISTING_CUT = -1; // opened, but failed while read: names are missing

// Reads the directory at path into listing, "." and ".." left out. A listing not read whole
// must never be kept.
int read_listing(const char* path, Listing* listing) {
    DIR* d = opendir(path);
    if (d == nullptr)
        return errno;
    struct stat st {};
    bool whole = fstat(dirfd(d), &st) == 0;
    listing->id = {st.st_dev, st.st_ino};
    try {
        for (;;) {
            errno = 0; // readdir tells its end from a failure by errno alone
            const struct dirent* e = readdir(d);
            if (e == nullptr)
                break;
            // Never listed, so that no single fault of the walk can lead it out of the tree.
            if (plat_posix::is_dot_name(e->d_name))
                continue;
            const std::size_t len = std::strlen(e->d_name);
            listing->entries.push_back(
                {static_cast<std::uint32_t>(listing->names.size()), e->d_type});
            listing->names.insert(listing->names.end(), e->d_name, e->d_name + len + 1);
        }
    } catch (const std::bad_alloc&) {
        closedir(d);
        throw;
    }
    whole = whole && errno == 0;
    closedir(d);
    // Sorted by the first bytes of each name first: most comparisons end there, with no
    // pointer into the names.
    const char* names = listing->names.data();
    std::vector<std::pair<std::uint64_t, ListedName>> keyed;
    keyed.reserve(listing->entries.size());
    for (const ListedName& e : listing->entries)
        keyed.push_back({folded_key(names + e.name), e});
    std::sort(keyed.begin(), keyed.end(), [names](const auto& a, const auto& b) {
        return a.first != b.first ? a.first < b.first
                                  : ntfs_before(names + a.second.name, names + b.second.name);
    });
    for (std::size_t i = 0; i < keyed.size(); ++i)
        listing->entries[i] = keyed[i].second;
    return whole ? LISTING_WHOLE : LISTING_CUT;
}

ListingMap::iterator drop(ListingMap::iterator at) {
    kept_listings.bytes -= size_of(at->second);
    return kept_listings.by_dir.erase(at);
}

// The listing kept for directory dir ("" for the current one), or nullptr; valid while the
// listings stay locked, as with listing_of.
const Listing* kept_listing(const char* dir) {
    const auto kept = kept_listings.by_dir.find(std::string_view(dir));
    return kept != kept_listings.by_dir.end() ? &kept->second : nullptr;
}

// The listing of directory dir, read now when none is kept. nullptr when it cannot be read,
// *why then saying why (see read_listing). May throw std::bad_alloc, with nothing kept.
const Listing* listing_of(const char* dir, int* why) {
    *why = LISTING_WHOLE;
    if (const Listing* kept = kept_listing(dir))
        return kept;
    Listing fresh;
    *why = read_listing(dir[0] != '\0' ? dir : ".", &fresh);
    if (*why != LISTING_WHOLE)
        return nullptr;
    fresh.made = ++kept_listings.made;
    const std::size_t bytes = size_of(fresh);
    const Listing* listing = &kept_listings.by_dir.emplace(dir, std::move(fresh)).first->second;
    kept_listings.bytes += bytes;
    // The newest, the one asked for, stays even alone past the bound.
    while (kept_listings.bytes > LISTINGS_MAX_BYTES && kept_listings.by_dir.size() > 1) {
        drop(std::min_element(
            kept_listings.by_dir.begin(), kept_listings.by_dir.end(),
            [](const auto& a, const auto& b) { return a.second.made < b.second.made; }));
    }
    return listing;
}

// The entries of listing whose names equal name ignoring ASCII case, in byte order.
std::pair<const ListedName*, const ListedName*> case_variants(const Listing& listing,
                                                              const char* name) {
    const char* names = listing.names.data();
    const ListedName* end = listing.entries.data() + listing.entries.size();
    const ListedName* first = std::lower_bound(listing.entries.data(), end, name,
                                               [names](const ListedName& e, const char* n) {
                                                   return compare_folded(names + e.name, n) < 0;
                                               });
    const ListedName* last = first;
    while (last != end && compare_folded(names + last->name, name) == 0)
        ++last;
    return {first, last};
}

// The listings locked, shared for a lookup in the listings kept, alone for one that may change
// them.
struct Locked {
    explicit Locked(bool shared) : shared(shared) {
        shared ? kept_listings.lock.lock_shared() : kept_listings.lock.lock();
    }
    ~Locked() { shared ? kept_listings.lock.unlock_shared() : kept_listings.lock.unlock(); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;
    bool shared;
};

} // namespace

namespace plat_posix {

int find_case_variant(const char* dir, const char* name, bool kept_only, char* out,
                      std::size_t out_size, unsigned char* type) {
    const Locked locked(kept_only);
    int why = LISTING_WHOLE;
    const Listing* listing = nullptr;
    try {
        listing = kept_only ? kept_listing(dir) : listing_of(dir, &why);
    } catch (const std::bad_alloc&) {
        return ENOMEM;
    }
    if (listing == nullptr)
        return why == EMFILE || why == ENFILE ? why : ENOENT;
    const char* names = listing->names.data();
    const auto [first, last] = case_variants(*listing, name);
    const ListedName* chosen = first;
    for (const ListedName* e = first; e != last; ++e) {
        if (std::strcmp(names + e->name, name) == 0)
            chosen = e;
    }
    if (type != nullptr && first != last)
        *type = chosen->type;
    return first != last && str_copy(out, out_size, names + chosen->name) ? 0 : ENOENT;
}

bool list_matches(const char* dir, const char* pattern, bool kept_only, std::vector<char>* names,
                  std::vector<ListedName>* entries, bool* incomplete) {
    const Locked locked(kept_only);
    int why = LISTING_WHOLE;
    const Listing* listing = kept_only ? kept_listing(dir) : listing_of(dir, &why);
    *incomplete = why == LISTING_CUT;
    if (listing == nullptr)
        return false;
    // A name without wildcards is found by its case variants alone.
    auto [first, last] =
        std::strpbrk(pattern, "*?") == nullptr
            ? case_variants(*listing, pattern)
            : std::pair{listing->entries.data(), listing->entries.data() + listing->entries.size()};
    for (; first != last; ++first) {
        const char* name = listing->names.data() + first->name;
        if (!wildcard_match(pattern, name))
            continue;
        entries->push_back({static_cast<std::uint32_t>(names->size()), first->type});
        names->insert(names->end(), name, name + std::strlen(name) + 1);
    }
    return true;
}

void forget_listing(const OsPath& path) {
    OsPath dir;
    const char* slash = std::strrchr(path, '/');
    const std::size_t len = slash == nullptr ? 0 : static_cast<std::size_t>(slash - path) + 1;
    std::memcpy(dir, path, len);
    dir[len] = '\0';
    struct stat st;
    if (stat(len != 0 ? dir : ".", &st) != 0)
        return;
    // Under whichever path the directory was listed.
    const Locked locked(false);
    for (auto at = kept_listings.by_dir.begin(); at != kept_listings.by_dir.end();)
        at = at->second.id == std::pair{st.st_dev, st.st_ino} ? drop(at) : std::next(at);
}

} // namespace plat_posix
