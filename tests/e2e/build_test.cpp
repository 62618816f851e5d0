// Build mode end to end, one row per rule: the report and the SFV files, byte for byte.
#include "harness.h"

namespace {

const std::string A(100, 'a');
const std::string B(100, 'b');
const std::string N96(96, 'n');
// A build directory of 200 characters with its backslashes.
const std::string D200 = std::string(100, 'x') + "\\" + std::string(98, 'y') + "\\";
const std::string D200_FS = std::string(100, 'x') + "/" + std::string(98, 'y') + "/";
const std::string SKIPPED = "Error: file name not supported, skipped: ";
// Code page 932: the second bytes of "ア" and "表" are "A" and "\\", that of "ソ" is "\\".
const std::string A_HYO = "\x83\x41\x95\x5C", SO = "\x83\x5C", HYO = "\x95\x5C";

// clang-format off
const Row ROWS[] = {
    {"PatternsKeepTheirOrderAndListEachFileOnce", // "costarring" and "liquid" share a hash
     {{"b.txt", "b"}, {"a.txt", "a"}, {"z.dat", "z"}, {"c.dat", "c"}, {"d.dat", "/"},
      {"empty.dat", ""}, {"My File.TXT", "m"}, {"costarring", "c"}, {"liquid", "l"}, {"Cz.txt", "C"}},
     {"*.dat", "*.*", "A.TXT", "liquid"},
     build_run("*.dat  *.*  a.txt  liquid  ", dir_lines(".\\", 9)),
     {{"dunel.sfv", sfv({{"c.dat", "c"}, {"empty.dat", ABSENT}, {"z.dat", "z"}, {"a.txt", "a"}, {"b.txt", "b"},
                         {"costarring", "c"}, {"Cz.txt", "C"}, {"liquid", "l"}, {"My File.TXT", "m"}})}}},
    {"NothingMatchedLeavesTheOldSfvFileAloneAndTheWalkGoesOn",
     {{"X/dunel.sfv", "keep"}, {"X/y.none", "/"}, {"X/z/z.txt", "z"}, {"X/-", "an option, not a name"}},
     {"*.none", "-p=", "-", "-p=X", "/R"},
     build_run("*.none  ", dir_lines("x\\", 0) + dir_lines("x\\y.none\\", 0) + dir_lines("x\\z\\", 0), true,
               "dunel.sfv", "x\\"),
     {{"X/dunel.sfv", "keep"}, {"X/z/dunel.sfv", ABSENT}}},
    {"APatternsFolderPartIsListedAsTypedWithEachMatch",
     {{"Sub/x.dat", "x"}, {"Sub/y.dat", "y"}, {"y.dat", "123456789"}}, {"Sub\\*.dat"},
     build_run("sub\\*.dat  ", dir_lines(".\\", 2)),
     {{"dunel.sfv", sfv({{"Sub\\x.dat", "x"}, {"Sub\\y.dat", "y"}})}}},
    {"OfTwinsDifferingInCaseTheDirectoryTypedIsBuilt", // "SUB" is there in no case: the lowered one
     {{"Data/f", "F"}, {"data/f", "f"}, {"Data/Sub/g", "G"}, {"data/Sub/g", "g"}, {"Data/sub/h", "h"},
      {"Data/x\\y", "1"}, {"Data/z\\w", "/"}},
     {"-r", "-p=Data", "*", "Sub/*", "SUB/*"},
     build_run("*  sub/*  sub/*  ", dir_lines("data\\", 3, SKIPPED + "data\\x\\y\n") + dir_lines("data\\Sub\\", 1) +
                                    dir_lines("data\\sub\\", 1) + SKIPPED + "data\\z\\w\n", true, "dunel.sfv", "data\\"),
     {{"Data/dunel.sfv", sfv({{"f", "F"}, {"Sub/g", "G"}, {"sub/h", "h"}})}, {"Data/Sub/dunel.sfv", sfv({{"g", "G"}})},
      {"Data/sub/dunel.sfv", sfv({{"h", "h"}})}, {"data/dunel.sfv", ABSENT}, {"data/Sub/dunel.sfv", ABSENT}},
     Where::PosixOnly},
    {"TheSfvFileInAnotherLetterCaseIsReusedNeverListed", // nor are temporary files, ours or another's
     {{"a.txt", "abc"}, {"Data/Check.SFV", "old"}, {"Data/.velmora-999-0.tmp", "t"}, {"Data/.velmora-1.tmp", "1"}},
     {"-f=CHECK.sfv", "-p=DATA", "..\\a.txt", "*.sfv", ".velmora*"},
     build_run("..\\a.txt  *.sfv  .velmora*  ", dir_lines("data\\", 2), false, "check.sfv", "data\\"),
     {{"Data/Check.SFV", sfv({{"..\\a.txt", "abc"}, {".velmora-1.tmp", "1"}})}, {"Data/check.sfv", ABSENT}}},
    {"ALinkAtTheSfvFilesNameIsReplacedNotWrittenThrough",
     {{"v.txt", "v"}, {"album/a.mp3", "a"}, {"album/dunel.sfv", "->../v.txt"}},
     {"-p=album", "*.mp3", "*.sfv"},
     build_run("*.mp3  *.sfv  ", dir_lines("album\\", 1), false, "dunel.sfv", "album\\"),
     {{"v.txt", "v"}, {"album/dunel.sfv", sfv({{"a.mp3", "a"}})}}},
    {"AFileThatCannotBeReadIsNamedAnEmptyOneIsNot", // both listed with zero
     {{"a.txt", "abc"}, {"empty", ""}, {"secret", UNREADABLE}}, {"*"},
     build_run("*  ", dir_lines(".\\", 3, "Error: cannot read file, listed as 00000000: .\\secret (access denied)\n")),
     {{"dunel.sfv", sfv({{"a.txt", "abc"}, {"empty", ABSENT}, {"secret", ABSENT}})}}, Where::PosixOnly},
    {"AnSfvFileThatCannotBeCreatedIsNamed",
     {{"a.txt", "abc"}, {"out.sfv", "/"}}, {"-f=out.sfv", "*.txt"},
     build_run("*.txt  ", dir_lines(".\\", 1, "Error: cannot create SFV file!\n"), false, "out.sfv")},
    {"TreeDepthFirstEachDirectoryItsOwnList",
     {{"root.txt", "r"}, {"B/b.txt", "b"}, {"a/root.txt", "r2"}, {"a/A1/deep.txt", "d"},
      {"a/A1/skip.bin", "s"}, {"a/empty", "/"}},
     {"-r", "*.txt"},
     build_run("*.txt  ", dir_lines(".\\", 1) + dir_lines(".\\a\\", 1) + dir_lines(".\\a\\A1\\", 1) +
                          dir_lines(".\\a\\empty\\", 0) + dir_lines(".\\B\\", 1), true),
     {{"dunel.sfv", sfv({{"root.txt", "r"}})}, {"a/dunel.sfv", sfv({{"root.txt", "r2"}})},
      {"a/A1/dunel.sfv", sfv({{"deep.txt", "d"}})}, {"B/dunel.sfv", sfv({{"b.txt", "b"}})},
      {"a/empty/dunel.sfv", ABSENT}}},
    {"NamesThePathsCannotHoldAreSkippedAndNamed",
     {{"a\\b.txt", "abc"}, {"a/b.txt", "xyz"}, {"x\ny z.txt", "abc"}, {"y.txt", "y"}, {"tab\tdir/in.txt", "i"},
      {"a/a\\b.txt", "abc"}},
     {"-r", "*.txt", "*"},
     build_run("*.txt  *  ", dir_lines(".\\", 1, SKIPPED + ".\\a\\b.txt\n" + SKIPPED + ".\\x?y z.txt\n") +
                             dir_lines(".\\a\\", 1, SKIPPED + ".\\a\\a\\b.txt\n") + SKIPPED + ".\\tab?dir\n", true),
     {{"dunel.sfv", sfv({{"y.txt", "y"}})}}},
    {"LinksNeverMakeTheWalkBuildADirectoryTwice", // the first way in wins; a list once written is read
     {{"top.txt", "t"}, {"z/a.txt", "a"}, {"z/b/b.txt", "b"}, {"z/b/up", "->../.."}, {"z/self", "->."},
      {"c/to_z", "->../z"}, {"c/to_c", "->../c"}, {"c/top.txt", "->../dunel.sfv"}},
     {"-r", "*.txt"},
     build_run("*.txt  ", dir_lines(".\\", 1) + dir_lines(".\\c\\", 1) + dir_lines(".\\c\\to_z\\", 1) +
                          dir_lines(".\\c\\to_z\\b\\", 1), true),
     {{"z/b/dunel.sfv", sfv({{"b.txt", "b"}})}, {"c/dunel.sfv", sfv({{"top.txt", sfv({{"top.txt", "t"}})}})}}},
    {"ADirectoryIsEnteredOnlyWhenItsSearchPathFits", // ".\" and three names: 296, then 297; and each search
     {{A + "/" + B + "/" + std::string(91, 'c') + "/f", "f"}, {A + "/" + B + "/" + std::string(92, 'd') + "/f", "f"},
      {A + "/" + B + "/" + N96, "n"}, {A + "/" + B + "/" + std::string(91, 'c') + "/" + N96, "n"}}, // named in each
     {"-r", "-f=s", "*", "*.dat"},
     build_run("*  *.dat  ", dir_lines(".\\", 0) + dir_lines(".\\" + A + "\\", 0) +
                      dir_lines(".\\" + A + "\\" + B + "\\", 0, "Error: path too long, skipped: .\\" + A + "\\" + B + "\\" + N96 + "\n") +
                      dir_lines(".\\" + A + "\\" + B + "\\" + std::string(91, 'c') + "\\", 1,
                                "Error: path too long, skipped: .\\" + A + "\\" + B + "\\" + std::string(91, 'c') + "\\" + N96 + "\n" +
                                "Error: path too long, skipped: .\\" + A + "\\" + B + "\\" + std::string(91, 'c') + "\\*.dat\n") +
                      "Error: path too long, skipped: .\\" + A + "\\" + B + "\\" + std::string(92, 'd') + "\n",
               true, "s")},
    {"FilePathsOf299FitLongerOnesAreNamedOnceAndNotListed", // and nothing of a path cut short is opened
     {{D200_FS + std::string(99, 'n'), "99"}, {D200_FS + std::string(100, 'n'), "100"}, {"x", "trap"}},
     {"-p=" + D200, "*", "n*"},
     build_run("*  n*  ", dir_lines(D200, 1, "Error: path too long, skipped: " + D200 + std::string(100, 'n') + "\n"),
               false, "dunel.sfv", D200),
     {{D200_FS + "dunel.sfv", sfv({{std::string(99, 'n'), "99"}})}}},
    {"HighBytesAndExactNamesAreTakenAsTheyAre", // "a" is given, its twin "A" sorts first
     {{"a/\xE9t\xE9.txt", "e"}, {"a/\xC9T\xC9.TXT", "E"}, {"a/\xFF", "ff"}, {"A/x", "x"}}, {"-p=a", "\xE9*", "*\xFF"},
     build_run("\xE9*  *\xFF  ", dir_lines("a\\", 2), false, "dunel.sfv", "a\\"),
     {{"a/dunel.sfv", sfv({{"\xE9t\xE9.txt", "e"}, {"\xFF", "ff"}})}, {"A/dunel.sfv", ABSENT}}, Where::PosixOnly},
    {"Utf8ControlsAndBidiMarksAreShownAsOneQuestionMarkEach", // the list holds the names' own bytes
     {{"a\xC2\x9B" "b/x\xE2\x80\xAEy.txt", "x"}}, {"-p=a\xC2\x9B" "b", "*\xE2\x80\xAE*"},
     build_run("*?*  ", dir_lines("a?b\\", 1), false, "dunel.sfv", "a?b\\"),
     {{"a\xC2\x9B" "b/dunel.sfv", sfv({{"x\xE2\x80\xAEy.txt", "x"}})}}, Where::PosixOnly},
    {"ALiteralNameListsEachCaseVariantAsAWildcardWould", // and no directory, "." or ".."
     {{"B.txt", "B"}, {"b.TXT", "b"}, {"a.txt", "a"}, {"C.txt", "C"}, {"sub/x", "x"}, {"x.", "x"}, {".x", "."}},
     {".X", "A.TXT", "b.txt", "c.txt", "X.", ".", "..", "Sub"},
     build_run(".x  a.txt  b.txt  c.txt  x.  .  ..  sub  ", dir_lines(".\\", 6)),
     {{"dunel.sfv", sfv({{".x", "."}, {"a.txt", "a"}, {"B.txt", "B"}, {"b.TXT", "b"}, {"C.txt", "C"}, {"x.", "x"}})}},
     Where::PosixOnly},
    {"FilesAreOpenedUnderTheirExactNames", // device names match nothing; a list cannot give back edge blanks or ";"
     {{"a.txt", "a"}, {"a.txt.", "a."}, {"a.txt ", "a_"}, {"b.txt.", "b."}, {" lead.txt", "l"}, {";x.txt", "x"}},
     {"*.*", "nul", "con.txt", "aux.c"},
     build_run("*.*  nul  con.txt  aux.c  ",
               dir_lines(".\\", 3, SKIPPED + ".\\ lead.txt\n" + SKIPPED + ".\\;x.txt\n" + SKIPPED + ".\\a.txt \n")),
     {{"dunel.sfv", sfv({{"a.txt", "a"}, {"a.txt.", "a."}, {"b.txt.", "b."}})}}},
    {"ADirectoryNameEndingInADotIsNotEntered", // Win32 path rules would take "x." for "x"
     {{"x./in.txt", "i"}, {"x/other.txt", "o"}}, {"-r", "-f=s", "*.txt"},
     build_run("*.txt  ", dir_lines(".\\", 0) + dir_lines(".\\x\\", 1) + SKIPPED + ".\\x.\n", true, "s"),
     {{"x./s", ABSENT}}, Where::WindowsOnly},
    {"FileNamesOutsideTheCodePageAreListedInUtf8", // under Wine these are Unicode names; code page 1252
     {{"in/a.txt", "a"}, {"in/\xEF\xBD\x81.txt", "fa"}, {"in/\xC4\x81.txt", "am"}, {"in/\xC3\xA9.txt", "e"},
      {"in/\xD0\xB6.txt", "zh"}, {"in/secret.txt", "s"}, {"in/sub/..\xEF\xBC\xBCsecret.txt", "x"},
      {"in/sub/..\xEF\xBC\xBC../f.txt", "f"}}, // a folder is still skipped
     {"-r", "-p=in", "*.txt"},
     build_run("*.txt  ", dir_lines("in\\", 6) + dir_lines("in\\sub\\", 1) + SKIPPED + "in\\sub\\..?..\n",
               true, "dunel.sfv", "in\\"),
     {{"in/dunel.sfv", "\xEF\xBB\xBF" + sfv({{"a.txt", "a"}, {"secret.txt", "s"}, {"\xC3\xA9.txt", "e"},
                        {"\xC4\x81.txt", "am"}, {"\xD0\xB6.txt", "zh"}, {"\xEF\xBD\x81.txt", "fa"}})},
      {"in/sub/dunel.sfv", "\xEF\xBB\xBF" + sfv({{"..\xEF\xBC\xBCsecret.txt", "x"}})}, {"dunel.sfv", ABSENT}},
     Where::WindowsOnly},
    {"PatternsMatchLongNamesOnlyWithLettersFoldedAsWindowsDoes", // not 8.3 names (B~1.RAR), not DOS "*."
     {{"a.rar", "a"}, {"b.rarx", "b"}, {"c.rar_backup", "c"}, {"e.html", "e"}, {"readme", "r"}, {"x.", "x"},
      {"\xC3\x89.txt", "E"}},
     {"*.rar", "*.htm", "*.", "*~*", "*\xC3\xA9*"},
     build_run("*.rar  *.htm  *.  *~*  *\xE9*  ", dir_lines(".\\", 3)),
     {{"dunel.sfv", sfv({{"a.rar", "a"}, {"x.", "x"}, {"\xC9.txt", "E"}})}}, Where::WindowsOnly},
    {"DoubleByteNamesAreListedWalkedAndNeverLowerCased", // "?" is one character; code page 932 has no "é"
     {{"ア表/a.txt", "a"}, {"ア表/表.txt", "h"}, {"ア表/ソ/b.txt", "b"},
      {"ア表/ソ/表x.txt", "x"}, {"ア表/ソ/é.txt", "e"}},
     {"-r", "-p=ア表", "?.txt"},
     build_run("?.txt  ", dir_lines(A_HYO + "\\", 2) + dir_lines(A_HYO + "\\" + SO + "\\", 2), true, "dunel.sfv",
               A_HYO + "\\"),
     {{"ア表/dunel.sfv", sfv({{"a.txt", "a"}, {HYO + ".txt", "h"}})},
      {"ア表/ソ/dunel.sfv", "\xEF\xBB\xBF" + sfv({{"b.txt", "b"}, {"é.txt", "e"}})}}, Where::WindowsCp932},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Build, RowRun, testing::ValuesIn(ROWS), row_name);

} // namespace
