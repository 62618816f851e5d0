// Wildcard name matching for the file search of systems that lack a native one, and for
// holding the Windows search to the same rules.
#include "platform/wildcard.h"

#include "common/text.h"
#include "platform/code_page.h"

static bool match_plain(const std::uint32_t* pattern, std::size_t pattern_len,
                        const WildChars* name) {
    std::size_t p = 0;
    std::size_t n = 0;
    std::size_t star_p = 0;
    std::size_t star_n = 0;
    bool have_star = false;
    while (n < name->length) {
        std::uint32_t pc = p < pattern_len ? pattern[p] : 0;
        if (pc == '*') {
            have_star = true;
            star_p = ++p;
            star_n = n;
        } else if (p < pattern_len && (pc == '?' || pc == name->chars[n])) {
            ++p;
            ++n;
        } else if (have_star) {
            // Let the last star swallow one more character and retry from there.
            p = star_p;
            n = ++star_n;
        } else {
            return false;
        }
    }
    while (p < pattern_len && pattern[p] == '*')
        ++p;
    return p == pattern_len;
}

bool wildcard_match_chars(const WildChars* pattern, const WildChars* name) {
    const std::size_t len = pattern->length;
    if (match_plain(pattern->chars, len, name))
        return true;
    // A trailing ".*" also stands for "no extension at all".
    if (len < 2 || pattern->chars[len - 2] != '.' || pattern->chars[len - 1] != '*')
        return false;
    for (std::size_t i = 0; i < name->length; ++i) {
        if (name->chars[i] == '.')
            return false;
    }
    return match_plain(pattern->chars, len - 2, name);
}

// The characters of a code-page string, ASCII letters upper-cased. False when they do not fit.
static bool code_page_chars(const char* text, WildChars* out) {
    out->length = 0;
    for (const char* p = text; *p != '\0'; p += char_bytes(p)) {
        if (out->length == WILD_MAX_CHARS)
            return false;
        const auto c = static_cast<unsigned char>(p[0]);
        out->chars[out->length++] = char_bytes(p) == 2
                                        ? (std::uint32_t{c} << 8 | static_cast<unsigned char>(p[1]))
                                        : ascii_upper(c);
    }
    return true;
}

bool wildcard_match(const char* pattern, const char* name) {
    WildChars p;
    WildChars n;
    return code_page_chars(pattern, &p) && code_page_chars(name, &n) &&
           wildcard_match_chars(&p, &n);
}
