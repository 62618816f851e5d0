// Win32 platform layer: drive-letter paths, search records, share modes, the report's
// redirection in text mode, directory identity and sizes beyond 32 bits.
#include <windows.h>

#include <io.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "checksum/mapped_file.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

namespace {

class Win32Dir : public ::testing::Test {
  protected:
    void SetUp() override {
        // The process id keeps suites that run side by side apart.
        dir_ = fs::temp_directory_path() /
               ("velmora-win32-" + std::to_string(GetCurrentProcessId()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    std::string make(const std::string& rel, const std::string& bytes) const {
        std::ofstream(dir_ / rel, std::ios::binary) << bytes;
        return path(rel);
    }
    // The program's form of a path: backslashes, directories with a trailing one.
    std::string path(const std::string& rel) const { return dir_.string() + "\\" + rel; }
    static std::string read(const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    fs::path dir_;
};

TEST(Win32Paths, DirectoryPartEndsAtLastSeparatorOrDriveColon) {
    struct Case {
        const char* path;
        std::size_t length;
    } cases[] = {
        {"d:crc.sfv", 2},
        {"d:\\data\\crc.sfv", 8},
        {"D:", 2},
        {"d:sub\\x.sfv", 6},
        {"crc.sfv", 0},
        {"a/b\\c.sfv", 4},
        {"1:x", 0},
        {":x", 0},
        {"ab:c.sfv", 0},
        {"", 0},
        {"\\\\srv\\share\\x", 12},
    };
    for (const Case& c : cases)
        EXPECT_EQ(plat_directory_length(c.path), c.length) << c.path;
}

TEST_F(Win32Dir, SearchReportsNamesAndTheDirectoryBit) {
    make("readme", "x");
    make("a.rar", "x");
    fs::create_directory(dir_ / "sub.d");
    std::set<std::string> files, dirs;
    FindData found;
    FindSearch* search = plat_find_first(path("*.*").c_str(), &found);
    ASSERT_NE(search, nullptr);
    do {
        ((found.attributes & FIND_ATTR_DIRECTORY) != 0 ? dirs : files).insert(found.name);
    } while (plat_find_next(search, &found));
    plat_find_close(search);
    EXPECT_EQ(files, (std::set<std::string>{"a.rar", "readme"}));
    EXPECT_EQ(dirs.count("sub.d"), 1u);
    EXPECT_FALSE(plat_find_next(nullptr, &found));

    // Nothing to list: no handle, nothing to close.
    EXPECT_EQ(plat_find_first(path("").c_str(), &found), nullptr);
    EXPECT_EQ(plat_find_first(path("*.none").c_str(), &found), nullptr);
    EXPECT_EQ(plat_find_first(path("missing\\*.*").c_str(), &found), nullptr);
    plat_find_close(nullptr);
}

TEST_F(Win32Dir, ExclusiveOpenAndStreamsExcludeEachOther) {
    std::string file = make("f.bin", "abc");
    PlatHandle handle = 0;
    EXPECT_FALSE(plat_open_exclusive(path("").c_str(), &handle)) << "a directory";
    EXPECT_FALSE(plat_open_exclusive(path("none").c_str(), &handle));

    ASSERT_TRUE(plat_open_exclusive(file.c_str(), &handle));
    std::FILE* stream = plat_fopen(file.c_str(), "rb");
    EXPECT_EQ(stream, nullptr) << "a stream opened while the file was held exclusively";
    if (stream != nullptr)
        plat_fclose(stream);
    PlatHandle second = 0;
    EXPECT_FALSE(plat_open_exclusive(file.c_str(), &second));
    plat_close_handle(handle);

    EXPECT_EQ(plat_fopen(path("").c_str(), "rb"), nullptr) << "a directory";
    EXPECT_EQ(plat_fopen("", "rb"), nullptr);
}

TEST(Win32Devices, DeviceNamesAreNeitherMappedNorStreamed) {
    for (const char* name : {"nul", "NUL", "con"}) {
        PlatHandle handle = 0;
        EXPECT_FALSE(plat_open_exclusive(name, &handle)) << name;
        std::FILE* in = plat_fopen(name, "rb");
        EXPECT_EQ(in, nullptr) << name;
        if (in != nullptr)
            plat_fclose(in);
        std::FILE* out = plat_fopen(name, "wb");
        EXPECT_EQ(out, nullptr) << name;
        if (out != nullptr)
            plat_fclose(out);
    }
}

TEST_F(Win32Dir, RedirectedReportIsTextModeAndHeldOpen) {
    char old_dir[MAX_PATH];
    ASSERT_NE(GetCurrentDirectoryA(sizeof old_dir, old_dir), 0u);
    ASSERT_TRUE(SetCurrentDirectoryA(dir_.string().c_str()));
    fs::create_directory(dir_ / "taken");
    std::fflush(stdout);
    int saved = _dup(1);
    ASSERT_GE(saved, 0);

    bool first = plat_redirect_stdout("report.txt");
    std::printf("one\n");
    // Refused: standard output must still go to report.txt.
    bool second = plat_redirect_stdout("taken");
    std::printf("two\n");
    std::fflush(stdout);
    PlatHandle handle = 0;
    bool mappable_while_held = plat_open_exclusive("report.txt", &handle);
    if (mappable_while_held)
        plat_close_handle(handle);

    _dup2(saved, 1);
    _close(saved);
    SetCurrentDirectoryA(old_dir);

    EXPECT_TRUE(first);
    EXPECT_FALSE(second);
    EXPECT_FALSE(mappable_while_held);
    EXPECT_EQ(read(path("report.txt")), "one\r\ntwo\r\n");
}

TEST_F(Win32Dir, DirectoryIdentityFollowsTheDirectoryNotTheSpelling) {
    fs::create_directories(dir_ / "a" / "b");
    make("a\\f.txt", "x");
    DirIdentity a{}, a_again{}, b{};
    ASSERT_TRUE(plat_dir_identity(path("a\\").c_str(), &a));
    ASSERT_TRUE(plat_dir_identity(path("a\\b\\..\\").c_str(), &a_again));
    ASSERT_TRUE(plat_dir_identity(path("a\\b").c_str(), &b));
    EXPECT_EQ(a.volume, a_again.volume);
    EXPECT_EQ(a.index, a_again.index);
    EXPECT_EQ(a.volume, b.volume);
    EXPECT_NE(a.index, b.index);
    DirIdentity none{};
    EXPECT_FALSE(plat_dir_identity(path("a\\f.txt").c_str(), &none)) << "a file";
    EXPECT_FALSE(plat_dir_identity(path("missing\\").c_str(), &none));
}

TEST_F(Win32Dir, FileOfMoreThan4GiBIsMeasuredAndMappedWhole) {
    // Extending without writing: sparse where the file system allows.
    const std::uint64_t size = (1ull << 32) + 3;
    std::string file = path("big.bin");
    HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size);
    bool extended = SetFilePointerEx(h, end, nullptr, FILE_BEGIN) && SetEndOfFile(h);
    CloseHandle(h);
    if (!extended)
        GTEST_SKIP() << "no room for a file of 4 GiB here";

    MappedFile r;
    ASSERT_EQ(map_file(file.c_str(), &r), MAP_OK);
    EXPECT_EQ(r.size, size) << "size cut to 32 bits";
    EXPECT_EQ(r.view[size - 1], 0) << "the view ends before the file does";
    unmap_file(&r);
}

} // namespace
