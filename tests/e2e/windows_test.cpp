// Faults the Windows file system invites, end to end. Each test runs on both platforms where
// both can show the fault.
#include <gtest/gtest.h>

#include <string>

#include "harness.h"

namespace {

TEST(WindowsNames, EntriesBeginningWithTwoSeparatorsAreMissingUnopened) {
    TempDir dir;
    dir.write("a.txt", "abc");
    // a.txt by an absolute path behind two separators: "\\?\" on Windows, "//" on POSIX.
    std::string local = dir.path();
    if (windows_program()) {
        for (char& c : local)
            c = c == '/' ? '\\' : c;
        local = "\\\\?\\Z:" + local + "\\a.txt";
    } else {
        local = "/" + local + "/a.txt";
    }
    const std::string mixed = "/\\" + local.substr(2);
    dir.write("l.sfv", local + " 352441C2\n" + mixed + " 352441C2\na.txt 352441C2\n");
    EXPECT_EQ(run_velmora(dir.path(), {"-c=l.sfv"}).out,
              check_report("l.sfv", local + "  Missing\n" + mixed + "  Missing\na.txt  OK!\n\n"));
    // An SFV file the user reached that way has its entries checked as usual.
    RunResult r = run_velmora(dir.path(), {"-c=" + local.substr(0, local.size() - 5) + "l.sfv"});
    EXPECT_NE(r.out.find(report("\na.txt  OK!\n")), std::string::npos) << r.out;
}

} // namespace
