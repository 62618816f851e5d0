// Rules with tables of their own: wildcard matching, and the option pass with the build
// directory completed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "checksum/crc_spread.h"
#include "cli/settings.h"
#include "platform/wildcard.h"

namespace {

TEST(Rules, Wildcards) {
    // clang-format off
    struct { const char* pattern; const char* name; bool match; } cases[] = {
        {"*.*", "readme", true}, {"*.*", "a.b.c", true}, {"*.*", ".hidden", true},
        {"*", "", true}, {"*.rar", "A.RAR", true}, {"*.rar", "a.rar.txt", false},
        {"itz*.r??", "itz1.r01", true}, {"itz*.r??", "itz1.r1", false}, {"?", "ab", false},
        {"a?c", "abc", true}, {"*hiv*.zip", "archive.zip", true}, {"x.*", "x", true},
        {"x.*", "x.", true}, {"x.*", "y", false}, {"*.", "x.", true},
        {".*", ".x", true}, {".*", "x", false}, {"data", "DATA", true},
        {"*a*a", "banana", true}, {"*a*a", "bananas", false}, {"\xC4*", "\xC4x", true},
        {"\xC4*", "\xE4x", false}, {"*.txt", "txt", false}, {"a*", "", false},
        {"a**b", "ab", true}, {"ab*ba", "aba", false}, {"", "", true}
    };
    // clang-format on
    for (const auto& c : cases)
        EXPECT_EQ(wildcard_match(c.pattern, c.name), c.match) << c.pattern << " / " << c.name;
}

// The settings after the option pass and complete_build_dir, in one line:
// "mode check|name|path flags", flags being r (recursive), o (redirect), h (help), v (version).
std::string parse(std::vector<std::string> words, std::string* bad = nullptr) {
    words.insert(words.begin(), "velmora");
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    Settings s;
    reset_settings(&s);
    normalise_args(static_cast<int>(argv.size()), argv.data());
    char refused[4] = {'x', 'x', 'x', 'x'}; // the option and its NUL, nothing more
    const int status =
        parse_options(static_cast<int>(argv.size()), argv.data(), argv.data(), &s, refused);
    complete_build_dir(s.build_dir);
    if (bad != nullptr)
        *bad = status == PARSE_OK
                   ? ""
                   : refused + std::string(status == PARSE_VALUE_MISSING ? " missing" : "");
    return std::string(s.build_mode ? "build " : "check ") + s.sfv_to_check + "|" + s.sfv_name +
           "|" + s.build_dir + " " + (s.recursive ? "r" : "") + (s.redirect ? "o" : "") +
           (s.show_help ? "h" : "") + (s.show_version ? "v" : "");
}

TEST(Rules, OptionValuesAndFlags) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"-c:x.sfv"}, "check x.sfv|dunel.sfv|.\\ "},
        {{"-cx.sfv"}, "check .sfv|dunel.sfv|.\\ "},
        {{"-f=a.sfv", "-F=B.sfv"}, "build |b.sfv|.\\ "},
        {{"/F=\xC4\xD6Z/Y"}, "build |\xC4\xD6z/y|.\\ "},
        {{"/P=D:\\Data"}, "build |dunel.sfv|d:\\data\\ "},
        {{"-p=d:"}, "build |dunel.sfv|d:\\ "},
        {{"-p=c:/temp/"}, "build |dunel.sfv|c:/temp/\\ "},
        {{"-p=d:\\data\\"}, "build |dunel.sfv|d:\\data\\ "},
        {{"-p="}, "build |dunel.sfv|.\\ "},
        {{"--HELP", "--help-me", "--x"}, "build |dunel.sfv|.\\ h"},
        {{"-recursive", "-output", "-x", "-", "*.zip"}, "build |dunel.sfv|.\\ ro"},
        {{"-help"}, "build |dunel.sfv|.\\ h"},
        {{"-?", "-o"}, "build |dunel.sfv|.\\ oh"}};
    for (const auto& [args, settings] : cases)
        EXPECT_EQ(parse(args), settings) << args[0];
}

TEST(Rules, ValuesTooLongOrMissingAreRefusedNamingTheOption) {
    const std::string d258(258, 'd');
    // clang-format off
    const std::pair<std::string, std::string> cases[] = {
        {"-f=" + d258 + "dd", "-f"}, {"/C=" + d258 + "dd", "-c"}, {"-p=" + d258, ""},
        {"-p=" + d258 + "d", "-p"}, {"-p=" + d258 + "\\", ""}, {"-p=" + d258 + "d\\", "-p"},
        {"-f=" + d258 + "d", ""}, {"-c", "-c missing"}, {"/F", "-f missing"}, {"-p", "-p missing"},
        {"-r", ""}
    };
    // clang-format on
    for (const auto& [arg, option] : cases) {
        std::string bad;
        parse({arg}, &bad);
        EXPECT_EQ(bad, option) << arg.size();
    }
    EXPECT_EQ(parse({"-p=" + d258}), "build |dunel.sfv|" + d258 + "\\ ");
}

} // namespace

// A trial ahead wins at 1.5 times the rate in turn, and loses once it has taken as long as its
// files would take in turn below that rate; all read between the two rates, it is unclear;
// before any of these, and without a rate in turn, it waits.
TEST(Rules, ATrialAheadIsJudgedByTheRateInTurn) {
    // Turn: 16 files, 1 MB in 16 ms (a rate a double holds exactly). Then trial bytes, ns and
    // files.
    // clang-format off
    using V = TrialVerdict;
    const struct { std::uint64_t bytes, ns; int files; TrialVerdict verdict; } cases[] = {
        {3'200'000, 8'000'000, 32, V::Parallel},   {1'500'000, 16'000'000, 32, V::Parallel},
        {1'499'999, 16'000'000, 32, V::Unclear},   {1'000'000, 16'000'000, 32, V::Seeks},
        {4'000'000, 40'000'000, 31, V::Undecided},
        {1'000'000, 31'000'000, 10, V::Undecided}, {1'000'000, 32'000'000, 10, V::Seeks}};
    // clang-format on
    for (const auto& c : cases) {
        const LearnTimes t{1'000'000, 16'000'000, 16, c.bytes, c.ns, c.files};
        EXPECT_EQ(crc_trial_verdict(&t), c.verdict) << c.ns;
    }
    const LearnTimes none{0, 0, 0, 3'200'000, 1'000'000, 32};
    EXPECT_EQ(crc_trial_verdict(&none), TrialVerdict::Undecided);
}

// Of the cold views, the first (it pays the seek) is not timed; then four are read as they come
// and four asked whole. Asking, with the range after, is kept at 1.2 times their rate or more;
// until all eight are read, and for views past them, nothing is asked.
TEST(Rules, ColdViewsAreAskedOfTheDeviceWhereThatReadsFaster) {
    const struct {
        std::int64_t came_ns, asked_ns;
        ViewAsk kept;
    } cases[] = {
        {121, 100, ViewAsk::WholeAndNext}, {119, 100, ViewAsk::Not}, {100, 120, ViewAsk::Not}};
    for (const auto& c : cases) {
        ViewTrial trial;
        std::vector<ViewTicket> tickets;
        for (int i = 0; i < 2 + 2 * VIEW_TRIAL; ++i)
            tickets.push_back(view_trial_begin(&trial));
        for (int i = 0; i < 2 + 2 * VIEW_TRIAL; ++i) {
            const int part = i == 0 || i > 2 * VIEW_TRIAL ? -1 : i > VIEW_TRIAL;
            EXPECT_EQ(tickets[i].part, part) << i;
            EXPECT_EQ(tickets[i].ask, part == 1 ? ViewAsk::Whole : ViewAsk::Not) << i;
            view_trial_end(&trial, tickets[i], 1000, part == 1 ? c.asked_ns : c.came_ns);
            const ViewTicket next = view_trial_begin(&trial);
            EXPECT_EQ(next.ask, i >= 2 * VIEW_TRIAL ? c.kept : ViewAsk::Not) << c.came_ns << i;
            EXPECT_EQ(next.part, -1);
        }
    }
}
