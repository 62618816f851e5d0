// The command line end to end: help screen, banners, the report file, refused values.
#include "harness.h"

namespace {

const std::string NOT_CREATED = "Error: cannot create 'dunout.txt'!\n";

// clang-format off
const Row ROWS[] = {
    {.name = "NoArgumentsShowHelp", .out = HELP_SCREEN, .after = {{"dunel.sfv", ABSENT}}},
    {.name = "HelpAmongPatternsAndAfterCheckMode",
     .files = {{"a.rar", "a"}}, .args = {"-c=x.sfv", "*.rar", "--HELP", "-r"}, .out = HELP_SCREEN,
     .after = {{"dunel.sfv", ABSENT}}},
    {.name = "HelpIntoTheReportFile", .args = {"-h", "-o"}, .after = {{"dunout.txt", HELP_SCREEN}}},
    {.name = "BuildReportIntoTheReportFile",
     .files = {{"dunout.txt", "an older report"}}, .args = {"-o"},
     .after = {{"dunout.txt", build_run("", dir_lines(".\\", 0))}, {"dunel.sfv", ABSENT}}},
    // Also after an SFV file was closed, the report written out.
    {.name = "TheReportFileIsNeverListedUnderAnyName",
     .files = {{"a.txt", "abc"}, {"sub/r.txt", "->../dunout.txt"}},
     .args = {"*.txt", "-o", "-r", std::string(5000, 'x')},
     .after = {{"dunel.sfv", sfv({{"a.txt", "abc"}})}, {"sub/dunel.sfv", ABSENT}}},
    {.name = "AReportFileThatCannotBeMadeLeavesTheReportHere",
     .files = {{"dunout.txt", "/"}}, .args = {"-o", "-c=none.sfv"},
     .out = NOT_CREATED + check_run("none.sfv", MISSING_SFV)},
    {.name = "AReportFileIsNeverWrittenThroughALink",
     .files = {{"dunout.txt", "->v.txt"}, {"v.txt", "v"}}, .args = {"-o", "-c=none.sfv"},
     .out = NOT_CREATED + check_run("none.sfv", MISSING_SFV), .after = {{"v.txt", "v"}},
     .where = Where::PosixOnly},
    {.name = "BuildBannerLowerCasedPatternsInOrder",
     .args = {"*.RAR", "-F=Check.SFV", "-x", "-", "/", "", "*.ZIP"},
     .out = build_run("*.rar    *.zip  ", dir_lines(".\\", 0), {.sfv = "check.sfv"})},
    {.name = "CheckBannerIgnoresPatterns",
     .args = {"-C=CHECK.SFV", "*.rar", "-r"}, .out = check_run("check.sfv", MISSING_SFV)},
    {.name = "APathValueTooLongIsRefused",
     .files = {{"a.txt", "a"}}, .args = {"-o", "-p=" + std::string(259, 'd'), "*.*"},
     .out = "Error: -p value too long!\n",
     .after = {{"dunout.txt", ABSENT}, {"dunel.sfv", ABSENT}}},
    // Best fit would make "-p=a", "\"x", "c:\\".
    {.name = "ArgumentsOutsideTheCodePageAreRefusedBeforeAnything",
     .files = {{"a/x.txt", "x"}, {"\xC4\x81/y.txt", "y"}},
     .args = {"-o", "-p=\xC4\x81", "*.txt", "\xEF\xBC\x82x",
              "\t\xEF\xBC\xA3\xEF\xBC\x9A\xEF\xBC\xBC"},
     .out = "Error: argument not supported: -p=?\nError: argument not supported: ?x\n"
            "Error: argument not supported: ????\n",
     .after = {{"a/dunel.sfv", ABSENT}, {"\xC4\x81/dunel.sfv", ABSENT}, {"dunout.txt", ABSENT}},
     .where = Where::WindowsOnly},
    {.name = "AValueOptionWithoutItsValueIsRefused",
     .files = {{"check.sfv", "a 0"}}, .args = {"-o", "-c", "check.sfv"},
     .out = "Error: -c value missing, write -c=FILE!\n", .after = {{"dunout.txt", ABSENT}}},
    {.name = "TheReportIsNeverTheListBeingRead",
     .files = {{"Dunout.txt", "a.txt 352441C2\n"}, {"a.txt", "abc"}},
     .args = {"-c=dunout.txt", "-o"},
     .out = NOT_CREATED + check_run("dunout.txt", "a.txt  OK!\n\n"),
     .after = {{"Dunout.txt", "a.txt 352441C2\n"}}},
    {.name = "NorTheListBeingWritten",
     .files = {{"a.txt", "abc"}}, .args = {"-f=DUNOUT.TXT", "-o", "*.txt"},
     .out = NOT_CREATED + build_run("*.txt  ", dir_lines(".\\", 1), {.sfv = "dunout.txt"}),
     .after = {{"dunout.txt", sfv({{"a.txt", "abc"}})}}},
    {.name = "ButAListOfItsNameInAnotherFolderLeavesItBe",
     .files = {{"sub/a.txt", "abc"}}, .args = {"-f=dunout.txt", "-o", "-p=sub", "*.txt"},
     .after = {{"dunout.txt", build_run("*.txt  ", dir_lines("sub\\", 1),
                                        {.sfv = "dunout.txt", .path = "sub\\"})},
               {"sub/dunout.txt", sfv({{"a.txt", "abc"}})}}},
    {.name = "AListNamedWithAFolderIsRefused",
     .files = {{"sub/a.txt", "a"}}, .args = {"-f=sub/l.sfv", "-r", "*.txt"},
     .out = "Error: -f takes a file name without a folder, give the folder with -p=DIR!\n",
     .after = {{"sub/l.sfv", ABSENT}}},
    {.name = "VersionAlone",
     .args = {"--version", "*.*"}, .out = "Velmora v0.1\n", .after = {{"dunel.sfv", ABSENT}}},
    {.name = "ABuildFolderThatCannotBeReadIsNamed",
     .args = {"-p=~/music", "*.mp3"}, // as no shell expands it
     .out = build_run("*.mp3  ",
                      dir_lines("~/music\\", 0,
                                "Error: cannot read directory, nothing listed: ~/music\\\n"),
                      {.path = "~/music\\"})},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(CommandLine, RowRun, testing::ValuesIn(ROWS), row_name);

} // namespace
