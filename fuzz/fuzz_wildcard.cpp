// Wildcard matching on arbitrary patterns and names, compared with a plain recursive matcher.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "common/text.h"
#include "platform/wildcard.h"

namespace {

constexpr std::size_t MAX_SIDE = 128;

enum Memo : unsigned char { UNKNOWN, NO, YES };

// Does pattern[p..plen) match name[n..nlen)? Straight from the rules, one case per
// pattern character, memoised so that runs of stars stay cheap.
bool ref_match(const unsigned char* pat, std::size_t plen, std::size_t p, const unsigned char* name,
               std::size_t nlen, std::size_t n, Memo memo[MAX_SIDE + 1][MAX_SIDE + 1]) {
    Memo& m = memo[p][n];
    if (m != UNKNOWN)
        return m == YES;
    bool result;
    if (p == plen)
        result = n == nlen;
    else if (pat[p] == '*')
        result = ref_match(pat, plen, p + 1, name, nlen, n, memo) ||
                 (n < nlen && ref_match(pat, plen, p, name, nlen, n + 1, memo));
    else if (n < nlen && (pat[p] == '?' || ascii_upper(pat[p]) == ascii_upper(name[n])))
        result = ref_match(pat, plen, p + 1, name, nlen, n + 1, memo);
    else
        result = false;
    m = result ? YES : NO;
    return result;
}

bool reference(const char* pattern, const char* name) {
    static Memo memo[MAX_SIDE + 1][MAX_SIDE + 1];
    const auto* pat = reinterpret_cast<const unsigned char*>(pattern);
    const auto* nm = reinterpret_cast<const unsigned char*>(name);
    std::size_t plen = std::strlen(pattern);
    std::size_t nlen = std::strlen(name);
    std::memset(memo, 0, sizeof memo);
    if (ref_match(pat, plen, 0, nm, nlen, 0, memo))
        return true;
    // A pattern ending in ".*" also matches a name without any dot by what precedes it.
    if (plen >= 2 && pattern[plen - 2] == '.' && pattern[plen - 1] == '*' &&
        std::strchr(name, '.') == nullptr) {
        std::memset(memo, 0, sizeof memo);
        return ref_match(pat, plen - 2, 0, nm, nlen, 0, memo);
    }
    return false;
}

// Copies bytes into an exact-size heap block with its NUL, so any read past the end shows.
char* exact_copy(const std::uint8_t* data, std::size_t len) {
    char* s = static_cast<char*>(std::malloc(len + 1));
    if (s == nullptr)
        std::abort();
    std::memcpy(s, data, len);
    s[len] = '\0';
    return s;
}

} // namespace

// Input: pattern, a NUL byte, name. Bytes past an embedded NUL in the name are dropped.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const void* sep = std::memchr(data, 0, size);
    if (sep == nullptr)
        return 0;
    std::size_t plen = static_cast<std::size_t>(static_cast<const std::uint8_t*>(sep) - data);
    const std::uint8_t* rest = data + plen + 1;
    std::size_t rlen = size - plen - 1;
    const void* end = std::memchr(rest, 0, rlen);
    std::size_t nlen = end != nullptr
                           ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(end) - rest)
                           : rlen;
    if (plen > MAX_SIDE || nlen > MAX_SIDE)
        return 0;

    char* pattern = exact_copy(data, plen);
    char* name = exact_copy(rest, nlen);
    bool got = wildcard_match(pattern, name);
    bool want = reference(pattern, name);
    if (got != want)
        __builtin_trap();
    std::free(name);
    std::free(pattern);
    return 0;
}
