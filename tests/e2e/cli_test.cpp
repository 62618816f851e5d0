// The command line end to end: help screen, banners, the report file, refused values.
#include "harness.h"

namespace {

// clang-format off
const Row ROWS[] = {
    {"NoArgumentsShowHelp", {}, {}, HELP_SCREEN, {{"dunel.sfv", ABSENT}}},
    {"SlashQuestionMarkShowsHelp", {}, {"/?"}, HELP_SCREEN},
    {"HelpAmongPatternsAndAfterCheckMode", {{"a.rar", "a"}}, {"-c=x.sfv", "*.rar", "--HELP", "-r"}, HELP_SCREEN,
     {{"dunel.sfv", ABSENT}}},
    {"HelpIntoTheReportFile", {}, {"-h", "-o"}, "", {{"dunout.txt", HELP_SCREEN}}},
    {"BuildReportIntoTheReportFile", {{"dunout.txt", "an older report"}}, {"-o"}, "",
     {{"dunout.txt", build_run("", dir_lines(".\\", 0))}, {"dunel.sfv", ABSENT}}},
    {"TheReportFileIsNeverListedUnderAnyName", // also after an SFV file was closed, the report written out
     {{"a.txt", "abc"}, {"sub/r.txt", "->../dunout.txt"}}, {"*.txt", "-o", "-r", std::string(5000, 'x')}, "",
     {{"dunel.sfv", sfv({{"a.txt", "abc"}})}, {"sub/dunel.sfv", ABSENT}}},
    {"AReportFileThatCannotBeMadeLeavesTheReportHere", {{"dunout.txt", "/"}}, {"-o", "-c=none.sfv"},
     "Error: cannot create 'dunout.txt'!\n" + check_run("none.sfv", MISSING_SFV)},
    {"AReportFileIsNeverWrittenThroughALink", {{"dunout.txt", "->v.txt"}, {"v.txt", "v"}}, {"-o", "-c=none.sfv"},
     "Error: cannot create 'dunout.txt'!\n" + check_run("none.sfv", MISSING_SFV), {{"v.txt", "v"}}, Where::PosixOnly},
    {"BuildBannerLowerCasedPatternsInOrder", {}, {"*.RAR", "-F=Check.SFV", "-x", "-", "/", "", "*.ZIP"},
     build_run("*.rar    *.zip  ", dir_lines(".\\", 0), false, "check.sfv")},
    {"CheckBannerIgnoresPatterns", {}, {"-C=CHECK.SFV", "*.rar", "-r"}, check_run("check.sfv", MISSING_SFV)},
    {"APathValueTooLongIsRefused", {{"a.txt", "a"}}, {"-o", "-p=" + std::string(259, 'd'), "*.*"},
     "Error: -p value too long!\n", {{"dunout.txt", ABSENT}, {"dunel.sfv", ABSENT}}},
    {"ArgumentsOutsideTheCodePageAreRefusedBeforeAnything", // best fit would make "-p=a", "\"x", "c:\\"
     {{"a/x.txt", "x"}, {"\xC4\x81/y.txt", "y"}}, {"-o", "-p=\xC4\x81", "*.txt", "\xEF\xBC\x82x", "\t\xEF\xBC\xA3\xEF\xBC\x9A\xEF\xBC\xBC"},
     "Error: argument not supported: -p=?\nError: argument not supported: ?x\nError: argument not supported: ????\n",
     {{"a/dunel.sfv", ABSENT}, {"\xC4\x81/dunel.sfv", ABSENT}, {"dunout.txt", ABSENT}}, Where::WindowsOnly},
    {"AValueOptionWithoutItsValueIsRefused", {{"check.sfv", "a 0"}}, {"-o", "-c", "check.sfv"},
     "Error: -c value missing, write -c=FILE!\n", {{"dunout.txt", ABSENT}}},
    {"TheReportIsNeverTheListBeingRead", {{"Dunout.txt", "a.txt 352441C2\n"}, {"a.txt", "abc"}},
     {"-c=dunout.txt", "-o"}, "Error: cannot create 'dunout.txt'!\n" + check_run("dunout.txt", "a.txt  OK!\n\n"),
     {{"Dunout.txt", "a.txt 352441C2\n"}}},
    {"NorTheListBeingWritten", {{"a.txt", "abc"}}, {"-f=DUNOUT.TXT", "-o", "*.txt"},
     "Error: cannot create 'dunout.txt'!\n" + build_run("*.txt  ", dir_lines(".\\", 1), false, "dunout.txt"),
     {{"dunout.txt", sfv({{"a.txt", "abc"}})}}},
    {"AListNamedWithAFolderIsRefused", {{"sub/a.txt", "a"}}, {"-f=sub/l.sfv", "-r", "*.txt"},
     "Error: -f takes a file name without a folder, give the folder with -p=DIR!\n", {{"sub/l.sfv", ABSENT}}},
    {"VersionAlone", {}, {"--version", "*.*"}, "Velmora v0.1\n", {{"dunel.sfv", ABSENT}}},
    {"ABuildFolderThatCannotBeReadIsNamed", {}, {"-p=~/music", "*.mp3"}, // as no shell expands it
     build_run("*.mp3  ", dir_lines("~/music\\", 0, "Error: cannot read directory, nothing listed: ~/music\\\n"),
               false, "dunel.sfv", "~/music\\")},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(CommandLine, RowRun, testing::ValuesIn(ROWS), row_name);

} // namespace
