// The progress line as drawn on standard error: the count, the name shortened in the middle
// and only between characters, the bytes in the size's decimal unit, all within the console's
// width less its last column.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "platform/platform.h"
#include "report/report.h"

namespace {

TEST(ProgressLine, FitsTheConsoleAndCutsNamesBetweenCharacters) {
    const std::string long_name = "abcdefghijklmnopqrstuvwxyz0123456789ABCD";
    std::string accents; // two bytes each
    for (int i = 0; i < 20; ++i)
        accents += "\xC3\xA9";
    const struct {
        std::uint64_t files_done, files;
        bool final;
        std::string name;
        std::uint64_t done, size;
        int columns;
        std::string shown;
    } rows[] = {
        {0, 40, true, "disc2.iso", 1900000000, 4700000000, 80, "[  1/40] disc2.iso  1.9 of 4.7 GB"},
        {3, 5, false, "a.txt", 999, 1000, 80, "[4/5+] a.txt  1.0 of 1.0 KB"},
        {0, 1, true, "b", 5, 999, 29, "[  1/1] b  5 of 999 B"}, // room for 8 bytes of name
        {5, 5, true,
         "c\td\x1B[2C\xC2\x9B\xE2\x80\xA8\xE2\x80\xAE\xE2\x81\xA6\xE2\x81\xA9\xE2\x81\xAA", 0, 0,
         80, "[  5/5] c?d?[2C?????\xE2\x81\xAA"}, // the ends of U+2028-202E and 2066-2069
        {0, 1, true, long_name, 0, 0, 30, "[  1/1] abcdefghi...56789ABCD"},
        {0, 1, true, accents, 0, 0, 30,
         "[  1/1] " + accents.substr(0, 8) + "..." + accents.substr(32)},
        {0, 3, true, "name", 1, 2000, 16, "[  1/3] "},
        // Stray bytes are characters of their own: cut anywhere.
        {0, 1, true, std::string(40, '\xA0'), 0, 0, 30,
         "[  1/1] " + std::string(9, '\xA0') + "..." + std::string(9, '\xA0')},
    };
    int pipe_fds[2];
    ASSERT_EQ(pipe(pipe_fds), 0);
    const int saved = dup(STDERR_FILENO);
    dup2(pipe_fds[1], STDERR_FILENO);
    for (const auto& row : rows) {
        report_progress(row.files_done, row.files, row.final, row.name.c_str(), NameCode::Native,
                        row.done, row.size, row.columns);
        char got[1024];
        const ssize_t n = read(pipe_fds[0], got, sizeof got);
        EXPECT_EQ(std::string(got, n > 0 ? static_cast<std::size_t>(n) : 0),
                  "\r" + row.shown + "\033[K");
    }
    report_progress_erase();
    dup2(saved, STDERR_FILENO);
    close(saved);
    close(pipe_fds[0]);
    close(pipe_fds[1]);
}

} // namespace
