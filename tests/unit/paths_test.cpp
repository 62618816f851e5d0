// Bounded joins, wildcard matching, the duplicate test and the SFV directory.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "check/check.h"
#include "common/text.h"
#include "platform/wildcard.h"
#include "sfv/name_index.h"

namespace {

TEST(Join, FitsExactlyOrRefusesWithoutOverrun) {
    char buf[8];
    std::memset(buf, 'Z', sizeof buf);
    EXPECT_TRUE(str_join(buf, 8, "abc", "defg")); // 7 characters and NUL
    EXPECT_STREQ(buf, "abcdefg");
    EXPECT_FALSE(str_join(buf, 8, "abcd", "efgh"));
    EXPECT_STREQ(buf, "");
    EXPECT_TRUE(str_join3(buf, 8, "a\\", "b", "\\"));
    EXPECT_STREQ(buf, "a\\b\\");
    EXPECT_FALSE(str_join3(buf, 8, "abc", "def", "gh"));

    char guarded[12];
    std::memset(guarded, 'Z', sizeof guarded);
    EXPECT_FALSE(str_copy(guarded, 8, "12345678"));
    EXPECT_EQ(std::string(guarded + 8, 4), "ZZZZ") << "wrote past the buffer";
}

TEST(Wildcard, DosRules) {
    struct Case {
        const char* pattern;
        const char* name;
        bool match;
    } cases[] = {
        {"*.*", "readme", true},
        {"*.*", "a.b.c", true},
        {"*.*", ".hidden", true},
        {"*", "", true},
        {"*.rar", "A.RAR", true},
        {"*.rar", "a.rar.txt", false},
        {"itz*.r??", "itz1.r01", true},
        {"itz*.r??", "itz1.r1", false},
        {"?", "ab", false},
        {"a?c", "abc", true},
        {"*hiv*.zip", "archive.zip", true},
        {"*.0??", "x.001", true},
        {"x.*", "x", true},
        {"data", "DATA", true},
        {"*a*a", "banana", true},
        {"*a*a", "bananas", false},
        {"\xC4*", "\xC4x", true},
        {"\xC4*", "\xE4x", false},
        {"*.txt", "txt", false},
        {"a*", "", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(wildcard_match(c.pattern, c.name), c.match) << c.pattern << " / " << c.name;
}

TEST(NameListed, ExactBytesAmongTheIndexedNames) {
    static NameIndex index; // too large for the stack
    name_index_clear(&index);
    char a[] = "a.rar", b[] = "B.rar", c[] = "c.rar";
    char* slots[] = {a, b, c};
    EXPECT_FALSE(name_listed(&index, slots, "a.rar"));
    for (int i = 0; i < 2; ++i)
        name_index_add(&index, slots, i);
    EXPECT_TRUE(name_listed(&index, slots, "a.rar"));
    EXPECT_TRUE(name_listed(&index, slots, "B.rar"));
    EXPECT_FALSE(name_listed(&index, slots, "b.rar"));
    EXPECT_FALSE(name_listed(&index, slots, "c.rar")) << "not indexed yet";
    EXPECT_FALSE(name_listed(&index, slots, "a.ra"));
    EXPECT_TRUE(name_listed(nullptr, slots, "x"));
    EXPECT_TRUE(name_listed(&index, slots, nullptr));
    name_index_clear(&index);
    EXPECT_FALSE(name_listed(&index, slots, "a.rar"));
}

TEST(SfvDirectory, EndsAtTheLastSeparator) {
    EXPECT_STREQ(sfv_directory("d:\\files_data\\crc.sfv"), "d:\\files_data\\");
    EXPECT_STREQ(sfv_directory("crc.sfv"), "");
    EXPECT_STREQ(sfv_directory("data/crc.sfv"), "data/");
    EXPECT_STREQ(sfv_directory("a\\b/c.sfv"), "a\\b/");
    EXPECT_STREQ(sfv_directory(""), "");
}

} // namespace
