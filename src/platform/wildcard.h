// Wildcard name matching with the rules of the Windows file search.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/constants.h"

// A pattern or name as whole characters, each folded to one letter case, so that one set of
// rules serves code-page names and the wide names of the Windows search alike.
inline constexpr std::size_t WILD_MAX_CHARS = WORK_PATH_SIZE;
struct WildChars {
    std::uint32_t chars[WILD_MAX_CHARS];
    std::size_t length;
};

// True when name matches pattern: "*" any run (empty included), "?" exactly one character,
// and a trailing ".*" also matching a name's end without a dot (so "*.*" matches every name).
// Characters are compared as given.
bool wildcard_match_chars(const WildChars* pattern, const WildChars* name);

// The same for code-page strings: a double-byte character is one character, and only ASCII
// letters are compared without case.
bool wildcard_match(const char* pattern, const char* name);
