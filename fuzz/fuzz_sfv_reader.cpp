// Arbitrary bytes as an SFV file: the line reader, the comment test and the entry scan, then
// a whole check against a directory that holds a few files.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "check/check.h"
#include "checksum/crc32.h"
#include "common/constants.h"
#include "common/text.h"
#include "sfv/sfv_format.h"

namespace {

std::string sfv_path; // the SFV file, rewritten for every input
std::string dir_path; // its directory, ending in "/"

void check(bool condition) {
    if (!condition)
        __builtin_trap();
}

void write_file(const std::string& path, const void* bytes, std::size_t len) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || std::fwrite(bytes, 1, len, f) != len || std::fclose(f) != 0)
        std::abort();
}

// Every line the reader yields, with what the comment test and the scan make of it.
void read_all(std::FILE* in) {
    SfvReader reader;
    sfv_reader_init(&reader, in);
    char line[SFV_LINE_SIZE];
    char name[SFV_NAME_SIZE];
    for (;;) {
        std::size_t n = read_sfv_line(&reader, line, sizeof line);
        if (n == 0)
            break;
        check(n < SFV_LINE_SIZE && line[n] == '\0');
        // A line ends at its first line feed, and only a full buffer ends without one.
        const void* lf = std::memchr(line, '\n', n);
        check(lf == nullptr ? true : static_cast<const char*>(lf) == line + n - 1);
        bool comment = is_comment_line(line);
        std::uint32_t crc = 0;
        int fields = scan_sfv_entry(line, name, &crc);
        check(fields == -1 || fields == 1 || fields == 2);
        if (fields >= 1) {
            std::size_t len = std::strlen(name);
            check(len >= 1 && len <= SFV_NAME_WIDTH);
            for (std::size_t k = 0; k < len; ++k)
                check(!is_ascii_space(static_cast<unsigned char>(name[k])));
        }
        // The header line written by the program is always a comment.
        if (std::strncmp(line, "; Generated", 11) == 0)
            check(comment);
    }
}

void remove_dir() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_path, ignored);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char templ[] = "/tmp/velmora-fuzz-XXXXXX";
    if (mkdtemp(templ) == nullptr)
        std::abort();
    dir_path = std::string(templ) + "/";
    sfv_path = dir_path + "fuzz.sfv";
    // A few files for the entries to find: plain, empty, and one below a subdirectory.
    write_file(dir_path + "a.txt", "abc", 3);
    write_file(dir_path + "empty", "", 0);
    std::filesystem::create_directory(dir_path + "sub");
    write_file(dir_path + "sub/x.bin", "\x00\xff", 2);
    std::atexit(remove_dir);
    crc_table_init();
    if (std::freopen("/dev/null", "w", stdout) == nullptr)
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    write_file(sfv_path, data, size);
    std::FILE* in = std::fopen(sfv_path.c_str(), "rb");
    if (in == nullptr)
        std::abort();
    read_all(in);
    std::fclose(in);

    // The check reads whatever the entries name; a name that climbs out of the directory
    // could reach a device or a pipe, so such inputs stop at the reader.
    for (std::size_t i = 0; i + 1 < size; ++i) {
        if (data[i] == '.' && data[i + 1] == '.')
            return 0;
    }
    check_sfv(sfv_path.c_str());
    return 0;
}
