// SFV reader rules: line reading, the comment test and the entry scan.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "sfv/sfv_format.h"

namespace {

// All lines the reader delivers for the given file bytes.
std::vector<std::string> read_lines(const std::string& bytes) {
    std::FILE* f = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::rewind(f);
    SfvReader reader;
    sfv_reader_init(&reader, f);
    std::vector<std::string> lines;
    char line[SFV_LINE_SIZE];
    for (std::size_t n; (n = read_sfv_line(&reader, line, sizeof line)) > 0;)
        lines.emplace_back(line, n);
    std::fclose(f);
    return lines;
}

TEST(SfvLines, TextModeRules) {
    using V = std::vector<std::string>;
    EXPECT_EQ(read_lines("a 1\r\nb 2\r\n"), (V{"a 1\n", "b 2\n"}));
    EXPECT_EQ(read_lines("a 1\nb 2"), (V{"a 1\n", "b 2"}));
    EXPECT_EQ(read_lines("a\rb\r\r\nc\r"), (V{"a\rb\r\n", "c\r"}));
    EXPECT_EQ(read_lines("a 1\nb 2\x1A"
                         "c 3\n"),
              (V{"a 1\n", "b 2"}));
    EXPECT_EQ(read_lines("\x1A"
                         "a 1\n"),
              V{});
    EXPECT_EQ(read_lines(""), V{});
    EXPECT_EQ(read_lines("\n\n"), (V{"\n", "\n"}));
}

TEST(SfvLines, LongLinesComeInPiecesOf4095) {
    std::string comment = ";" + std::string(4999, 'c') + "\n";
    std::vector<std::string> lines = read_lines(comment);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].size(), 4095u);
    EXPECT_EQ(lines[1].size(), 906u); // the other 905 characters and the line feed
    EXPECT_TRUE(is_comment_line(lines[0].c_str()));
    EXPECT_FALSE(is_comment_line(lines[1].c_str()));

    std::string exact(4094, 'x');
    lines = read_lines(exact + "\n" + "y 1\n");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], exact + "\n");
    // A CR LF split across the piece boundary is still one line feed.
    lines = read_lines(std::string(4094, 'x') + "\r\nz");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "z");
}

TEST(SfvComment, OnlySpacesAndTabsMayPrecedeTheSemicolon) {
    EXPECT_TRUE(is_comment_line(""));
    EXPECT_TRUE(is_comment_line("; Generated\n"));
    EXPECT_TRUE(is_comment_line(" \t ;x\n"));
    EXPECT_FALSE(is_comment_line("\f;abc 12\n"));
    EXPECT_FALSE(is_comment_line("\v;abc 12\n"));
    EXPECT_FALSE(is_comment_line("\r;abc 12\n"));
    EXPECT_FALSE(is_comment_line("\n"));
    EXPECT_FALSE(is_comment_line("   \n"));
    EXPECT_FALSE(is_comment_line("a.txt 1\n"));
}

struct ScanCase {
    const char* line;
    int fields;
    const char* name;
    std::uint32_t crc;
};

TEST(SfvScan, EntryFieldsFollowTheFormatRules) {
    const ScanCase cases[] = {
        {"a.txt 352441C2\r\n", 2, "a.txt", 0x352441C2},
        {"n 1234abcd\n", 2, "n", 0x1234ABCD},
        {"n abc", 2, "n", 0xABC},
        {"n 123456789", 2, "n", 0x12345678},
        {"n 0x1234ABCD", 2, "n", 0x1234ABCD},
        {"n 0X1234abcd99", 2, "n", 0x1234ABCD},
        {"n -1", 2, "n", 0xFFFFFFFF},
        {"n +1234ABCD", 2, "n", 0x01234ABC},
        {"n -0x10", 2, "n", 0xFFFFFFF0},
        {"n 0", 2, "n", 0},
        {"n 0y", 2, "n", 0},
        {"  \tn\t\v 12 trailing words", 2, "n", 0x12},
        {"my file.txt 0000000F", 2, "my", 0xF},
        {"\f;abc 12\n", 2, ";abc", 0x12},
        {"\xEF\xBB\xBFname 1", 2, "\xEF\xBB\xBFname", 1},
        {"\xE9t\xE9 ff", 2, "\xE9t\xE9", 0xFF},
        {"n", 1, "n", 0},
        {"n \n", 1, "n", 0},
        {"n 0x", 1, "n", 0},
        {"n 0xg1", 1, "n", 0},
        {"n -", 1, "n", 0},
        {"n +g", 1, "n", 0},
        {"my notes.txt 1", 1, "my", 0},
        {"n\0 12", 1, "n", 0},
        {"", -1, "", 0},
        {" \t\r\n", -1, "", 0},
    };
    for (const ScanCase& c : cases) {
        char name[SFV_NAME_SIZE] = "";
        std::uint32_t crc = 0;
        int fields = scan_sfv_entry(c.line, name, &crc);
        EXPECT_EQ(fields, c.fields) << c.line;
        if (c.fields >= 1) {
            EXPECT_STREQ(name, c.name) << c.line;
        }
        if (c.fields == 2) {
            EXPECT_EQ(crc, c.crc) << c.line;
        }
    }
}

TEST(SfvScan, NamesAtTheWidthLimit) {
    for (std::size_t len : {259u, 260u}) {
        std::string line = std::string(len, 'n') + " 1F";
        char name[SFV_NAME_SIZE];
        std::uint32_t crc = 0;
        ASSERT_EQ(scan_sfv_entry(line.c_str(), name, &crc), 2) << len;
        EXPECT_EQ(std::string(name), std::string(len, 'n'));
        EXPECT_EQ(crc, 0x1Fu);
    }
    // The 261st character starts the checksum field with no separator.
    char name[SFV_NAME_SIZE];
    std::uint32_t crc = 0;
    std::string line = std::string(260, 'n') + "a 1";
    ASSERT_EQ(scan_sfv_entry(line.c_str(), name, &crc), 2);
    EXPECT_EQ(std::string(name), std::string(260, 'n'));
    EXPECT_EQ(crc, 0xAu);
    line = std::string(261, 'n') + " 1";
    EXPECT_EQ(scan_sfv_entry(line.c_str(), name, &crc), 1);
}

TEST(SfvWriter, HeaderAndEntriesEndInCrLf) {
    std::FILE* f = std::tmpfile();
    ASSERT_TRUE(write_sfv_header(f));
    ASSERT_TRUE(write_sfv_entry(f, "a.txt", 0x352441C2));
    ASSERT_TRUE(write_sfv_entry(f, "B.DAT", 0));
    std::rewind(f);
    char buf[256] = {};
    std::size_t n = std::fread(buf, 1, sizeof buf - 1, f);
    std::fclose(f);
    EXPECT_EQ(std::string(buf, n),
              "; Generated by Velmora v0.1\r\n;\r\na.txt 352441C2\r\nB.DAT 00000000\r\n");
}

} // namespace
