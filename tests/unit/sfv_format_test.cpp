// The SFV reader: text mode, the comment test and the entry scan, each as a table of input and
// expected result. (What the writer produces, the end-to-end rows compare byte for byte.)
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "sfv/sfv_format.h"

namespace {

// Every line the reader delivers for the given file bytes; UTF16 alone for a refused file.
const std::string UTF16 = "(UTF-16)";
std::vector<std::string> read_lines(const std::string& bytes) {
    std::FILE* f = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::rewind(f);
    SfvReader reader;
    const bool utf16 = sfv_reader_init(&reader, f) == SfvText::Utf16;
    std::vector<std::string> lines;
    char line[SFV_LINE_SIZE];
    // As the callers take it: up to its NUL.
    for (std::size_t n; !utf16 && (n = read_sfv_line(&reader, line, sizeof line)) > 0;)
        lines.emplace_back(line);
    if (utf16)
        lines.push_back(UTF16);
    std::fclose(f);
    return lines;
}

TEST(Sfv, TheReaderFollowsTextMode) {
    using V = std::vector<std::string>;
    const std::string x4094(4094, 'x');
    // clang-format off
    const std::pair<std::string, V> cases[] = {
        {"a 1\r\nb 2\r\n", {"a 1\n", "b 2\n"}}, {"a 1\nb 2", {"a 1\n", "b 2"}}, {"", {}},
        {"a\rb\r\r\nc\r", {"a\n", "b\n", "\n", "c\n"}}, {"a 1\nb 2\x1A" "c 3\n", {"a 1\n", "b 2"}},
        {"\x1A" "a 1\n", {}}, {"\n\n", {"\n", "\n"}},
        // Lines past 4095 characters come in pieces; a CR LF across the cut is one line feed.
        {";" + std::string(4999, 'c') + "\n",
         {";" + std::string(4094, 'c'), std::string(905, 'c') + "\n"}},
        {x4094 + "\n" + "y 1\n", {x4094 + "\n", "y 1\n"}}, {x4094 + "\r\nz", {x4094 + "\n", "z"}},
        // A UTF-8 mark is passed over; UTF-16 is told from names that begin with its mark's bytes.
        {"\xEF\xBB\xBF" "a\r\n", {"a\n"}}, {"\xEF\xBB" "a\n", {"\xEF\xBB" "a\n"}},
        {"a\xEF\xBB\xBF", {"a\xEF\xBB\xBF"}},
        {std::string("\xFF\xFE" "a\0", 4), {UTF16}}, {std::string("\xFE\xFF\0", 3), {UTF16}},
        {std::string("\xFF\xFE" "d 1\nx\0", 8), {"\xFF\xFE" "d 1\n", "x"}},
        {std::string("\xFF\xFE\xA9\x03m\0", 6), {UTF16}},
        {std::string("\xFE\xFF\x03\xA9\0m", 6), {UTF16}}, {"\xFE\xFF" "d\n", {"\xFE\xFF" "d\n"}},
        {"\xFF\xFE" "d", {"\xFF\xFE" "d"}}};
    // clang-format on
    for (const auto& [bytes, lines] : cases)
        EXPECT_EQ(read_lines(bytes), lines) << bytes.substr(0, 20);
}

TEST(Sfv, OnlySpacesAndTabsMayPrecedeACommentsSemicolon) {
    // clang-format off
    struct { const char* line; bool comment; } cases[] = {
        {"", true}, {"; Generated\n", true}, {" \t ;x\n", true}, {"\f;abc 12\n", false},
        {"\v;abc 12\n", false}, {"\r;abc 12\n", false}, {"\n", false}, {"   \n", false},
        {"a.txt 1\n", false}
    };
    // clang-format on
    for (const auto& c : cases)
        EXPECT_EQ(is_comment_line(c.line), c.comment) << c.line;
}

TEST(Sfv, TheEntryScanReadsANameAndAChecksumField) {
    const std::string n260(260, 'n');
    // clang-format off
    struct { std::string line; int fields; std::string name; std::uint32_t crc; } cases[] = {
        {"a.txt 352441C2\r\n", 2, "a.txt", 0x352441C2}, {"n 1234abcd\n", 2, "n", 0x1234ABCD},
        {"n abc", 2, "n", 0xABC}, {"n 123456789", 2, "n", 0x12345678},
        {"n 0x1234ABCD", 2, "n", 0x1234ABCD}, {"n 0X1234abcd99", 2, "n", 0x1234ABCD},
        {"n -1", 2, "n", 0xFFFFFFFF}, {"n +1234ABCD", 2, "n", 0x01234ABC},
        {"n -0x10", 2, "n", 0xFFFFFFF0}, {"n 0", 2, "n", 0}, {"n 0y", 2, "n", 0},
        {"  \tn\t\v 12 trailing words", 2, "n", 0x12},
        // A last field of eight hex digits after two or more fields ends a name with blanks.
        {" my  file.txt\t0000000F \n", 2, "my  file.txt", 0xF},
        {"a.txt 1234ABCD DEADBEEF", 2, "a.txt 1234ABCD", 0xDEADBEEF},
        {"IMG 20240101 x.jpg 1234abcd", 2, "IMG 20240101 x.jpg", 0x1234ABCD},
        {"a b 1234ABCD9", 2, "a", 0xB}, {"a b +1234ABC", 2, "a", 0xB}, {"a b 1234ABC", 2, "a", 0xB},
        {"a 1234ABCD", 2, "a", 0x1234ABCD},
        {std::string(255, 'n') + " abcd 00000001", 2, std::string(255, 'n') + " abcd", 1},
        {std::string(256, 'n') + " abcd 00000001", 3, std::string(256, 'n') + " abc", 1},
        {"\f;abc 12\n", 2, ";abc", 0x12}, {"\xEF\xBB\xBFname 1", 2, "\xEF\xBB\xBFname", 1},
        {"\xE9t\xE9 ff", 2, "\xE9t\xE9", 0xFF},
        {std::string(259, 'n') + " 1F", 2, std::string(259, 'n'), 0x1F},
        {n260 + " 1F", 2, n260, 0x1F}, {n260 + "a 1", 3, n260, 1}, {n260 + "abc", 1, n260, 0},
        {" 1234ABCD", 1, "1234ABCD", 0}, {"n \n", 1, "n", 0}, {"n 0x", 1, "n", 0},
        {"n 0xg1", 1, "n", 0}, {"n -", 1, "n", 0}, {"n +g", 1, "n", 0},
        {"my notes.txt 1", 1, "my", 0}, {std::string("n\0 12", 5), 1, "n", 0}, {"", -1, "", 0},
        {" \t\r\n", -1, "", 0}
    };
    // clang-format on
    for (const auto& c : cases) {
        char name[SFV_NAME_SIZE] = "";
        std::uint32_t crc = 0;
        EXPECT_EQ(scan_sfv_entry(c.line.c_str(), name, &crc), c.fields) << c.line;
        EXPECT_EQ(name, c.fields >= 1 ? c.name : "") << c.line;
        EXPECT_EQ(crc, c.fields >= 2 ? c.crc : 0u) << c.line;
    }
}

} // namespace
