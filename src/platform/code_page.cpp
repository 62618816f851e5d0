// Scans that step over double-byte characters whole.
#include "platform/code_page.h"

#include "common/text.h"

bool same_name_any_case(const char* a, const char* b) {
    for (; *a != '\0'; ++a, ++b) {
        if (char_bytes(a) == 2) {
            if (a[0] != b[0] || a[1] != b[1])
                return false;
            ++a;
            ++b;
        } else if (ascii_lower(static_cast<unsigned char>(*a)) !=
                   ascii_lower(static_cast<unsigned char>(*b))) {
            return false;
        }
    }
    return *b == '\0';
}

bool ends_in_backslash(const char* text) {
    bool backslash = false;
    for (const char* p = text; *p != '\0'; p += char_bytes(p))
        backslash = *p == '\\' && char_bytes(p) == 1;
    return backslash;
}
