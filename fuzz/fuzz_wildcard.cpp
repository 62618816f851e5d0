// Wildcard matching on arbitrary patterns and names, against a matcher written straight
// from the rules: one case per pattern character.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "common/text.h"
#include "platform/wildcard.h"

namespace {

bool reference(const char* p, const char* n) {
    if (*p == '\0')
        return *n == '\0';
    if (*p == '*') // the star matches nothing, or one more character
        return reference(p + 1, n) || (*n != '\0' && reference(p, n + 1));
    return *n != '\0' &&
           (*p == '?' || ascii_upper(static_cast<unsigned char>(*p)) ==
                             ascii_upper(static_cast<unsigned char>(*n))) &&
           reference(p + 1, n + 1);
}

} // namespace

// Input: pattern, a NUL byte, name; each short enough for the plain recursion, which takes
// time exponential in the number of stars.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto* sep = static_cast<const std::uint8_t*>(std::memchr(data, 0, size));
    if (sep == nullptr || sep - data > 12 || data + size - sep > 13)
        return 0;
    const std::string pattern(reinterpret_cast<const char*>(data), sep - data);
    const std::string name(reinterpret_cast<const char*>(sep + 1), data + size - sep - 1);
    if (name.find('\0') != std::string::npos)
        return 0;
    bool want = reference(pattern.c_str(), name.c_str());
    // A pattern ending in ".*" also matches a name without any dot by what precedes it.
    const std::size_t len = pattern.size();
    if (!want && len >= 2 && pattern.compare(len - 2, 2, ".*") == 0 &&
        name.find('.') == std::string::npos)
        want = reference(pattern.substr(0, len - 2).c_str(), name.c_str());
    if (wildcard_match(pattern.c_str(), name.c_str()) != want)
        __builtin_trap();
    return 0;
}
