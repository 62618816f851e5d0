// The directory listings the POSIX layer keeps never hide a file: not one the program made or
// removed since, nor one in a directory that could not be read before.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/platform.h"
#include "platform/posix/posix_paths.h"

namespace {

std::string resolved(const std::string& path) {
    plat_posix::OsPath out;
    return plat_posix::resolve_path(path.c_str(), out) == 0 ? out : "(unknown)";
}

TEST(Listings, NeverHideAFileThatIsThere) {
    char made[] = "/tmp/velmora-listings-XXXXXX";
    ASSERT_NE(mkdtemp(made), nullptr);
    const std::string d = std::string(made) + "/";
    const int first_free = dup(0);
    close(first_free);
    // Each first lookup reads the directory, which holds no such name yet.
    EXPECT_EQ(resolved(d + "NEW.SFV"), d + "NEW.SFV");
    plat_fclose(plat_fopen((d + "new.sfv").c_str(), "wb"));
    EXPECT_EQ(resolved(d + "NEW.SFV"), d + "new.sfv");
    plat_remove((d + "new.sfv").c_str());
    EXPECT_EQ(resolved(d + "NEW.SFV"), d + "NEW.SFV");
    // With no descriptor left, the directory cannot be read and nothing is known; later it is.
    plat_fclose(plat_fopen((d + "File.txt").c_str(), "wb"));
    const int lowest = dup(0);
    close(lowest);
    EXPECT_EQ(lowest, first_free) << "a stream's descriptor outlived its close";
    struct rlimit saved;
    getrlimit(RLIMIT_NOFILE, &saved);
    const struct rlimit none = {static_cast<rlim_t>(lowest), saved.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &none), 0);
    const std::string without_descriptors = resolved(d + "FILE.TXT");
    setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(without_descriptors, "(unknown)");
    EXPECT_EQ(resolved(d + "FILE.TXT"), d + "File.txt");
    // The report file takes standard output, so it is made in a child.
    EXPECT_EXIT((chdir(made), resolved("DUNOUT.TXT"), plat_redirect_stdout("dunout.txt"),
                 std::exit(resolved("DUNOUT.TXT") == "dunout.txt" ? 0 : 1)),
                testing::ExitedWithCode(0), "");
    std::filesystem::remove_all(made);
}

} // namespace
