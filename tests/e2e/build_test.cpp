// Build mode end to end, one row per rule: the report and the SFV files, byte for byte.
#include "harness.h"

namespace {

const std::string A(100, 'a');
const std::string C91(91, 'c');
const std::string D92(92, 'd');
const std::string N96(96, 'n');
const std::string N99(99, 'n');
const std::string N100(100, 'n');
// Two folders of 100 characters, as made ("/") and as shown.
const std::string AB = A + "/" + std::string(100, 'b') + "/";
const std::string AB_WIN = ".\\" + A + "\\" + std::string(100, 'b') + "\\";
// A build directory of 200 characters with its backslashes.
const std::string D200 = std::string(100, 'x') + "\\" + std::string(98, 'y') + "\\";
const std::string D200_FS = std::string(100, 'x') + "/" + std::string(98, 'y') + "/";
const std::string SKIPPED = "Error: file name not supported, skipped: ";
const std::string TOO_LONG = "Error: path too long, skipped: ";
const std::string BOM = "\xEF\xBB\xBF"; // the UTF-8 mark of lists that need it
// Code page 932: the second bytes of "ア" and "表" are "A" and "\\", that of "ソ" is "\\".
const std::string A_HYO = "\x83\x41\x95\x5C", SO = "\x83\x5C", HYO = "\x95\x5C";

// clang-format off
const Row ROWS[] = {
    // "costarring" and "liquid" share a hash.
    {.name = "PatternsKeepTheirOrderAndListEachFileOnce",
     .files = {{"b.txt", "b"}, {"a.txt", "a"}, {"z.dat", "z"}, {"c.dat", "c"}, {"d.dat", "/"},
               {"empty.dat", ""}, {"My File.TXT", "m"}, {"costarring", "c"}, {"liquid", "l"},
               {"Cz.txt", "C"}},
     .args = {"*.dat", "*.*", "A.TXT", "liquid"},
     .out = build_run("*.dat  *.*  a.txt  liquid  ", dir_lines(".\\", 9)),
     .after = {{"dunel.sfv", sfv({{"c.dat", "c"}, {"empty.dat", ABSENT}, {"z.dat", "z"},
                                  {"a.txt", "a"}, {"b.txt", "b"}, {"costarring", "c"},
                                  {"Cz.txt", "C"}, {"liquid", "l"}, {"My File.TXT", "m"}})}}},
    {.name = "NothingMatchedLeavesTheOldSfvFileAloneAndTheWalkGoesOn",
     .files = {{"X/dunel.sfv", "keep"}, {"X/y.none", "/"}, {"X/z/z.txt", "z"},
               {"X/-", "an option, not a name"}},
     .args = {"*.none", "-p=", "-", "-p=X", "/R"},
     .out = build_run("*.none  ",
                      dir_lines("x\\", 0) + dir_lines("x\\y.none\\", 0) + dir_lines("x\\z\\", 0),
                      {.recursive = true, .path = "x\\"}),
     .after = {{"X/dunel.sfv", "keep"}, {"X/z/dunel.sfv", ABSENT}}},
    {.name = "APatternsFolderPartIsListedAsTypedWithEachMatch",
     .files = {{"Sub/x.dat", "x"}, {"Sub/y.dat", "y"}, {"y.dat", "123456789"}},
     .args = {"Sub\\*.dat"}, .out = build_run("sub\\*.dat  ", dir_lines(".\\", 2)),
     .after = {{"dunel.sfv", sfv({{"Sub\\x.dat", "x"}, {"Sub\\y.dat", "y"}})}}},
    // "SUB" is there in no case: the lowered one.
    {.name = "OfTwinsDifferingInCaseTheDirectoryTypedIsBuilt",
     .files = {{"Data/f", "F"}, {"data/f", "f"}, {"Data/Sub/g", "G"}, {"data/Sub/g", "g"},
               {"Data/sub/h", "h"}, {"Data/x\\y", "1"}, {"Data/z\\w", "/"}},
     .args = {"-r", "-p=Data", "*", "Sub/*", "SUB/*"},
     .out = build_run("*  sub/*  sub/*  ",
                      dir_lines("data\\", 3, SKIPPED + "data\\x\\y\n") +
                          dir_lines("data\\Sub\\", 1) + dir_lines("data\\sub\\", 1) + SKIPPED +
                          "data\\z\\w\n",
                      {.recursive = true, .path = "data\\"}),
     .after = {{"Data/dunel.sfv", sfv({{"f", "F"}, {"Sub/g", "G"}, {"sub/h", "h"}})},
               {"Data/Sub/dunel.sfv", sfv({{"g", "G"}})}, {"Data/sub/dunel.sfv", sfv({{"h", "h"}})},
               {"data/dunel.sfv", ABSENT}, {"data/Sub/dunel.sfv", ABSENT}},
     .where = Where::PosixOnly},
    // Nor are temporary files, ours or another's.
    {.name = "TheSfvFileInAnotherLetterCaseIsReusedNeverListed",
     .files = {{"a.txt", "abc"}, {"Data/Check.SFV", "old"}, {"Data/.velmora-999-0.tmp", "t"},
               {"Data/.velmora-1.tmp", "1"}},
     .args = {"-f=CHECK.sfv", "-p=DATA", "..\\a.txt", "*.sfv", ".velmora*"},
     .out = build_run("..\\a.txt  *.sfv  .velmora*  ", dir_lines("data\\", 2),
                      {.sfv = "check.sfv", .path = "data\\"}),
     .after = {{"Data/Check.SFV", sfv({{"..\\a.txt", "abc"}, {".velmora-1.tmp", "1"}})},
               {"Data/check.sfv", ABSENT}}},
    {.name = "ALinkAtTheSfvFilesNameIsReplacedNotWrittenThrough",
     .files = {{"v.txt", "v"}, {"album/a.mp3", "a"}, {"album/dunel.sfv", "->../v.txt"},
               {"album/b.sfv", "->../v.txt"}}, // the old list, by another name
     .args = {"-p=album", "*.mp3", "*.sfv"},
     .out = build_run("*.mp3  *.sfv  ", dir_lines("album\\", 1), {.path = "album\\"}),
     .after = {{"v.txt", "v"}, {"album/dunel.sfv", sfv({{"a.mp3", "a"}})}}},
    {.name = "AFileThatCannotBeReadIsNamedAnEmptyOneIsNot", // both listed with zero
     .files = {{"a.txt", "abc"}, {"empty", ""}, {"secret", UNREADABLE}}, .args = {"*"},
     .out = build_run("*  ", dir_lines(".\\", 3, "Error: cannot read file, listed as 00000000: "
                                                 ".\\secret (access denied)\n")),
     .after = {{"dunel.sfv", sfv({{"a.txt", "abc"}, {"empty", ABSENT}, {"secret", ABSENT}})}},
     .where = Where::PosixOnly},
    {.name = "TreeDepthFirstEachDirectoryItsOwnList",
     .files = {{"root.txt", "r"}, {"B/b.txt", "b"}, {"a/root.txt", "r2"}, {"a/A1/deep.txt", "d"},
               {"a/A1/skip.bin", "s"}, {"a/empty", "/"}},
     .args = {"-r", "*.txt"},
     .out = build_run("*.txt  ",
                      dir_lines(".\\", 1) + dir_lines(".\\a\\", 1) + dir_lines(".\\a\\A1\\", 1) +
                          dir_lines(".\\a\\empty\\", 0) + dir_lines(".\\B\\", 1),
                      {.recursive = true}),
     .after = {{"dunel.sfv", sfv({{"root.txt", "r"}})}, {"a/dunel.sfv", sfv({{"root.txt", "r2"}})},
               {"a/A1/dunel.sfv", sfv({{"deep.txt", "d"}})}, {"B/dunel.sfv", sfv({{"b.txt", "b"}})},
               {"a/empty/dunel.sfv", ABSENT}}},
    {.name = "NamesThePathsCannotHoldAreSkippedAndNamed",
     .files = {{"a\\b.txt", "abc"}, {"a/b.txt", "xyz"}, {"x\ny z.txt", "abc"}, {"y.txt", "y"},
               {"tab\tdir/in.txt", "i"}, {"a/a\\b.txt", "abc"}},
     .args = {"-r", "*.txt", "*"},
     .out = build_run("*.txt  *  ",
                      dir_lines(".\\", 1, SKIPPED + ".\\a\\b.txt\n" + SKIPPED + ".\\x?y z.txt\n") +
                          dir_lines(".\\a\\", 1, SKIPPED + ".\\a\\a\\b.txt\n") + SKIPPED +
                          ".\\tab?dir\n",
                      {.recursive = true}),
     .after = {{"dunel.sfv", sfv({{"y.txt", "y"}})}}},
    // The first way in wins; a list once written is read.
    {.name = "LinksNeverMakeTheWalkBuildADirectoryTwice",
     .files = {{"top.txt", "t"}, {"z/a.txt", "a"}, {"z/b/b.txt", "b"}, {"z/b/up", "->../.."},
               {"z/self", "->."}, {"c/to_z", "->../z"}, {"c/to_c", "->../c"},
               {"c/top.txt", "->../dunel.sfv"}},
     .args = {"-r", "*.txt"},
     .out = build_run("*.txt  ",
                      dir_lines(".\\", 1) + dir_lines(".\\c\\", 1) + dir_lines(".\\c\\to_z\\", 1) +
                          dir_lines(".\\c\\to_z\\b\\", 1),
                      {.recursive = true}),
     .after = {{"z/b/dunel.sfv", sfv({{"b.txt", "b"}})},
               {"c/dunel.sfv", sfv({{"top.txt", sfv({{"top.txt", "t"}})}})}}},
    // ".\" and three names: 296, then 297; and each search named in each.
    {.name = "ADirectoryIsEnteredOnlyWhenItsSearchPathFits",
     .files = {{AB + C91 + "/f", "f"}, {AB + D92 + "/f", "f"}, {AB + N96, "n"},
               {AB + C91 + "/" + N96, "n"}},
     .args = {"-r", "-f=s", "*", "*.dat"},
     .out = build_run("*  *.dat  ",
                      dir_lines(".\\", 0) + dir_lines(".\\" + A + "\\", 0) +
                          dir_lines(AB_WIN, 0, TOO_LONG + AB_WIN + N96 + "\n") +
                          dir_lines(AB_WIN + C91 + "\\", 1,
                                    TOO_LONG + AB_WIN + C91 + "\\" + N96 + "\n" + TOO_LONG +
                                        AB_WIN + C91 + "\\*.dat\n") +
                          TOO_LONG + AB_WIN + D92 + "\n",
                      {.recursive = true, .sfv = "s"})},
    // And nothing of a path cut short is opened.
    {.name = "FilePathsOf299FitLongerOnesAreNamedOnceAndNotListed",
     .files = {{D200_FS + N99, "99"}, {D200_FS + N100, "100"}, {"x", "trap"}},
     .args = {"-p=" + D200, "*", "n*"},
     .out = build_run("*  n*  ", dir_lines(D200, 1, TOO_LONG + D200 + N100 + "\n"),
                      {.path = D200}),
     .after = {{D200_FS + "dunel.sfv", sfv({{N99, "99"}})}}},
    {.name = "HighBytesAndExactNamesAreTakenAsTheyAre", // "a" is given, its twin "A" sorts first
     .files = {{"a/\xE9t\xE9.txt", "e"}, {"a/\xC9T\xC9.TXT", "E"}, {"a/\xFF", "ff"}, {"A/x", "x"},
               {"a/\xE9\\", "named as it is"}},
     .args = {"-p=a", "\xE9*", "*\xFF"},
     .out = build_run("\xE9*  *\xFF  ", dir_lines("a\\", 2, SKIPPED + "a\\\xE9\\\n"),
                      {.path = "a\\"}),
     .after = {{"a/dunel.sfv", sfv({{"\xE9t\xE9.txt", "e"}, {"\xFF", "ff"}})},
               {"A/dunel.sfv", ABSENT}}, .where = Where::PosixOnly},
    // The list holds the names' own bytes; printable characters (U+FF01, U+1F600) stay as
    // they are.
    {.name = "Utf8ControlsAndBidiMarksAreShownAsOneQuestionMarkEach",
     .files = {{"a\xC2\x9B" "b\xE2\x80\x8F\xEF\xBC\x81/x\xE2\x80\xAEy\xF0\x9F\x98\x80.txt", "x"}},
     .args = {"-p=a\xC2\x9B" "b\xE2\x80\x8F\xEF\xBC\x81", "*\xE2\x80\xAE*\xF0\x9F\x98\x80*",
              "\xED\xA0\x80"}, // a surrogate's code, no character
     .out = build_run("*?*\xF0\x9F\x98\x80*  \xED\xA0?  ", dir_lines("a?b?\xEF\xBC\x81\\", 1),
                      {.path = "a?b?\xEF\xBC\x81\\"}),
     .after = {{"a\xC2\x9B" "b\xE2\x80\x8F\xEF\xBC\x81/dunel.sfv",
                sfv({{"x\xE2\x80\xAEy\xF0\x9F\x98\x80.txt", "x"}})}},
     .where = Where::PosixOnly},
    {.name = "ALiteralNameListsEachCaseVariantAsAWildcardWould", // and no directory, "." or ".."
     .files = {{"B.txt", "B"}, {"b.TXT", "b"}, {"a.txt", "a"}, {"C.txt", "C"}, {"sub/x", "x"},
               {"x.", "x"}, {".x", "."}},
     .args = {".X", "A.TXT", "b.txt", "c.txt", "X.", ".", "..", "Sub"},
     .out = build_run(".x  a.txt  b.txt  c.txt  x.  .  ..  sub  ", dir_lines(".\\", 6)),
     .after = {{"dunel.sfv", sfv({{".x", "."}, {"a.txt", "a"}, {"B.txt", "B"}, {"b.TXT", "b"},
                                  {"C.txt", "C"}, {"x.", "x"}})}}, .where = Where::PosixOnly},
    // Device names match nothing; a list cannot give back edge blanks or ";".
    {.name = "FilesAreOpenedUnderTheirExactNames",
     .files = {{"a.txt", "a"}, {"a.txt.", "a."}, {"a.txt ", "a_"}, {"b.txt.", "b."},
               {" lead.txt", "l"}, {";x.txt", "x"}},
     .args = {"*.*", "nul", "con.txt", "aux.c"},
     .out = build_run("*.*  nul  con.txt  aux.c  ",
                      dir_lines(".\\", 3, SKIPPED + ".\\ lead.txt\n" + SKIPPED + ".\\;x.txt\n" +
                                              SKIPPED + ".\\a.txt \n")),
     .after = {{"dunel.sfv", sfv({{"a.txt", "a"}, {"a.txt.", "a."}, {"b.txt.", "b."}})}}},
    {.name = "ADirectoryNameEndingInADotIsNotEntered", // Win32 path rules would take "x." for "x"
     .files = {{"x./in.txt", "i"}, {"x/other.txt", "o"}}, .args = {"-r", "-f=s", "*.txt"},
     .out = build_run("*.txt  ", dir_lines(".\\", 0) + dir_lines(".\\x\\", 1) + SKIPPED + ".\\x.\n",
                      {.recursive = true, .sfv = "s"}),
     .after = {{"x./s", ABSENT}}, .where = Where::WindowsOnly},
    // Under Wine these are Unicode names; code page 1252. A folder is still skipped.
    {.name = "FileNamesOutsideTheCodePageAreListedInUtf8",
     .files = {{"in/a.txt", "a"}, {"in/\xEF\xBD\x81.txt", "fa"}, {"in/\xC4\x81.txt", "am"},
               {"in/\xC3\xA9.txt", "e"}, {"in/\xD0\xB6.txt", "zh"}, {"in/secret.txt", "s"},
               {"in/sub/..\xEF\xBC\xBCsecret.txt", "x"}, {"in/sub/..\xEF\xBC\xBC../f.txt", "f"}},
     .args = {"-r", "-p=in", "*.txt"},
     .out = build_run("*.txt  ",
                      dir_lines("in\\", 6) + dir_lines("in\\sub\\", 1) + SKIPPED +
                          "in\\sub\\..?..\n",
                      {.recursive = true, .path = "in\\"}),
     .after = {{"in/dunel.sfv", BOM + sfv({{"a.txt", "a"}, {"secret.txt", "s"},
                                           {"\xC3\xA9.txt", "e"}, {"\xC4\x81.txt", "am"},
                                           {"\xD0\xB6.txt", "zh"}, {"\xEF\xBD\x81.txt", "fa"}})},
               {"in/sub/dunel.sfv", BOM + sfv({{"..\xEF\xBC\xBCsecret.txt", "x"}})},
               {"dunel.sfv", ABSENT}}, .where = Where::WindowsOnly},
    // Not by 8.3 names (B~1.RAR), nor DOS's "*.".
    {.name = "PatternsMatchLongNamesOnlyWithLettersFoldedAsWindowsDoes",
     .files = {{"a.rar", "a"}, {"b.rarx", "b"}, {"c.rar_backup", "c"}, {"e.html", "e"},
               {"readme", "r"}, {"x.", "x"}, {"\xC3\x89.txt", "E"}},
     .args = {"*.rar", "*.htm", "*.", "*~*", "*\xC3\xA9*"},
     .out = build_run("*.rar  *.htm  *.  *~*  *\xE9*  ", dir_lines(".\\", 3)),
     .after = {{"dunel.sfv", sfv({{"a.rar", "a"}, {"x.", "x"}, {"\xC9.txt", "E"}})}},
     .where = Where::WindowsOnly},
    // "?" is one character; code page 932 has no "é".
    {.name = "DoubleByteNamesAreListedWalkedAndNeverLowerCased",
     .files = {{"ア表/a.txt", "a"}, {"ア表/表.txt", "h"}, {"ア表/ソ/b.txt", "b"},
               {"ア表/ソ/表x.txt", "x"}, {"ア表/ソ/é.txt", "e"}},
     .args = {"-r", "-p=ア表", "?.txt"},
     .out = build_run("?.txt  ",
                      dir_lines(A_HYO + "\\", 2) + dir_lines(A_HYO + "\\" + SO + "\\", 2),
                      {.recursive = true, .path = A_HYO + "\\"}),
     .after = {{"ア表/dunel.sfv", sfv({{"a.txt", "a"}, {HYO + ".txt", "h"}})},
               {"ア表/ソ/dunel.sfv", BOM + sfv({{"b.txt", "b"}, {"é.txt", "e"}})}},
     .where = Where::WindowsCp932},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Build, RowRun, testing::ValuesIn(ROWS), row_name);

} // namespace
