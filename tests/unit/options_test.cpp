// Command-line normalisation, the option table and the path fix-up.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/settings.h"

namespace {

// Owns writable argument strings, as the start-up code would hand them over.
struct Args {
    explicit Args(std::vector<std::string> words) : strings(std::move(words)) {
        strings.insert(strings.begin(), "velmora");
        for (std::string& s : strings)
            ptrs.push_back(s.data());
        ptrs.push_back(nullptr);
    }
    int argc() const { return static_cast<int>(strings.size()); }
    char** argv() { return ptrs.data(); }
    std::vector<std::string> strings;
    std::vector<char*> ptrs;
};

struct Parsed {
    Settings s;
    int status;
    std::string bad;
    std::vector<std::string> args;
};

Parsed parse(std::vector<std::string> words) {
    Args a(std::move(words));
    Parsed p;
    reset_settings(&p.s);
    normalise_args(a.argc(), a.argv());
    char bad[3] = "";
    p.status = parse_options(a.argc(), a.argv(), &p.s, bad);
    p.bad = bad;
    for (int i = 1; i < a.argc(); ++i)
        p.args.push_back(a.argv()[i]);
    return p;
}

TEST(Options, NormalisationLowersAsciiOnlyAndTurnsLeadingSlashIntoDash) {
    Parsed p = parse({"ABC*.RAR", "/H", "x/Y", "\xC4\xD6Z", "/"});
    EXPECT_EQ(p.args[0], "abc*.rar");
    EXPECT_EQ(p.args[1], "-h");
    EXPECT_EQ(p.args[2], "x/y");
    EXPECT_EQ(p.args[3], "\xC4\xD6z");
    EXPECT_EQ(p.args[4], "-");
}

TEST(Options, ValuesStartAtTheFourthCharacterWhateverTheThird) {
    EXPECT_STREQ(parse({"-C=CHECK.SFV", "*.rar"}).s.check_file, "check.sfv");
    EXPECT_EQ(parse({"-C=CHECK.SFV"}).s.build_mode, 0);
    EXPECT_STREQ(parse({"-c:x.sfv"}).s.check_file, "x.sfv");
    EXPECT_STREQ(parse({"-cx.sfv"}).s.check_file, ".sfv");
    EXPECT_STREQ(parse({"-f=Check.SFV"}).s.sfv_name, "check.sfv");
    EXPECT_STREQ(parse({"-f=a.sfv", "-f=b.sfv"}).s.sfv_name, "b.sfv");
    EXPECT_STREQ(parse({"/P=D:\\Data"}).s.sfv_path, "d:\\data");
}

TEST(Options, BareValueOptionsTakeAnEmptyValue) {
    EXPECT_STREQ(parse({"-f"}).s.sfv_name, "");
    Parsed c = parse({"-c"});
    EXPECT_STREQ(c.s.check_file, "");
    EXPECT_EQ(c.s.build_mode, 0);
    Parsed p = parse({"-p"});
    fix_sfv_path(p.s.sfv_path);
    EXPECT_STREQ(p.s.sfv_path, ".\\");
}

TEST(Options, FlagsCountOnlyTheirFirstTwoCharactersAndUnknownsAreIgnored) {
    Parsed p = parse({"-recursive", "-output", "-x", "-", "*.zip"});
    EXPECT_EQ(p.s.recursive, 1);
    EXPECT_EQ(p.s.redirect, 1);
    EXPECT_EQ(p.s.show_help, 0);
    EXPECT_EQ(p.s.build_mode, 1);
    EXPECT_STREQ(p.s.sfv_name, "dunel.sfv");
}

TEST(Options, OverlongValuesAreRefusedNamingTheOption) {
    std::string n259(259, 'n');
    Parsed ok = parse({"-f=" + n259, "-c=" + n259});
    EXPECT_EQ(ok.status, PARSE_OK);
    EXPECT_EQ(std::string(ok.s.sfv_name), n259);
    EXPECT_EQ(std::string(ok.s.check_file), n259);

    Parsed f = parse({"-f=" + n259 + "x"});
    EXPECT_EQ(f.status, PARSE_VALUE_TOO_LONG);
    EXPECT_EQ(f.bad, "-f");
    Parsed c = parse({"/C=" + n259 + "x"});
    EXPECT_EQ(c.status, PARSE_VALUE_TOO_LONG);
    EXPECT_EQ(c.bad, "-c");

    // The path keeps one byte for the backslash the fix-up appends.
    Parsed p258 = parse({"-p=" + std::string(258, 'd')});
    EXPECT_EQ(p258.status, PARSE_OK);
    fix_sfv_path(p258.s.sfv_path);
    EXPECT_EQ(std::string(p258.s.sfv_path), std::string(258, 'd') + "\\");
    EXPECT_EQ(parse({"-p=" + std::string(259, 'd')}).status, PARSE_VALUE_TOO_LONG);
    EXPECT_EQ(parse({"-p=" + std::string(258, 'd') + "\\"}).status, PARSE_OK);
    EXPECT_EQ(parse({"-p=" + std::string(259, 'd') + "\\"}).status, PARSE_VALUE_TOO_LONG);
}

TEST(Options, PathFixUpAppendsOneBackslashOnly) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {{"", ".\\"},
                 {"d:", "d:\\"},
                 {"d:\\data", "d:\\data\\"},
                 {"d:\\data\\", "d:\\data\\"},
                 {"c:/temp/", "c:/temp/\\"}};
    for (const Case& c : cases) {
        char path[MAX_PATH] = {};
        std::snprintf(path, sizeof path, "%s", c.in);
        fix_sfv_path(path);
        EXPECT_STREQ(path, c.out) << c.in;
    }
}

} // namespace
