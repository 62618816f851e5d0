// What only the Win32 layer does: drive-letter paths, device names and the per-thread guard
// of a view being read. The end-to-end suite runs the rest of the layer in the program.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>

#include "platform/platform.h"
#include "platform/win32/win32_paths.h"

namespace {

TEST(Win32, DirectoryPartEndsAtTheLastSeparatorOrADrivesColon) {
    // clang-format off
    const std::pair<const char*, std::size_t> cases[] = {
        {"d:crc.sfv", 2}, {"d:\\data\\crc.sfv", 8}, {"D:", 2}, {"d:sub\\x.sfv", 6}, {"crc.sfv", 0},
        {"a/b\\c.sfv", 4}, {"1:x", 0}, {":x", 0}, {"ab:c.sfv", 0}, {"", 0},
        {"\\\\srv\\share\\x", 12}};
    // clang-format on
    for (const auto& [path, length] : cases)
        EXPECT_EQ(plat_directory_length(path), length) << path;
}

// Not even opened: a pipe's server sees each open, as a device's driver does.
TEST(Win32, DeviceNamesAreNeitherMappedNorStreamed) {
    HANDLE server =
        CreateNamedPipeW(L"\\\\.\\pipe\\velmora-test", PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED, 0,
                         1, 0, 0, 0, nullptr);
    OVERLAPPED connect{};
    ASSERT_FALSE(ConnectNamedPipe(server, &connect));
    for (const char* name :
         {"nul", "NUL", "con", "com1", "\\\\.\\pipe\\velmora-test", "\\\\?\\pipe\\velmora-test"}) {
        PlatHandle handle = 0;
        FileStamp st{};
        FileFault fault{};
        EXPECT_NE(plat_open_exclusive(name, false, &handle, &st, &fault), OpenResult::Opened)
            << name;
        for (const char* mode : {"rb", "wb"})
            EXPECT_EQ(plat_fopen(name, mode), nullptr) << name << " " << mode;
    }
    EXPECT_FALSE(HasOverlappedIoCompleted(&connect));
    CloseHandle(server);
}

// An indexer's brief hold is waited out; a stream of this process is refused at once, one
// that writes or reads; another's handle that only reads is no hold.
TEST(Win32, AFileHeldAMomentIsWaitedForOneOfTheProcesssOwnIsNot) {
    char path[MAX_PATH];
    ASSERT_NE(GetTempPathA(MAX_PATH - 20, path), 0u);
    std::strcat(path, "velmora-busy.bin");
    PlatHandle handle = 0;
    FileStamp stamp{};
    FileFault fault{};
    for (const char* mode : {"wb", "rb"}) {
        std::FILE* stream = plat_fopen(path, mode);
        ASSERT_NE(stream, nullptr);
        EXPECT_EQ(plat_open_exclusive(path, false, &handle, &stamp, &fault), OpenResult::Failed);
        EXPECT_EQ(fault, FileFault::Own) << mode;
        plat_fclose(stream);
    }
    HANDLE reader = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, 0);
    EXPECT_EQ(plat_open_exclusive(path, false, &handle, &stamp, &fault), OpenResult::Opened);
    plat_close_handle(handle);
    CloseHandle(reader);
    HANDLE other = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    // Held by another all the while, once the waits are over: named as in use.
    EXPECT_EQ(plat_open_exclusive(path, false, &handle, &stamp, &fault), OpenResult::Retry);
    EXPECT_EQ(fault, FileFault::InUse);
    auto let_go = [](void* held) -> DWORD { return Sleep(10), CloseHandle(held); };
    HANDLE thread = CreateThread(nullptr, 0, let_go, other, 0, nullptr);
    EXPECT_EQ(plat_open_exclusive(path, false, &handle, &stamp, &fault), OpenResult::Opened);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    plat_close_handle(handle);
    DeleteFileA(path);
}

// The runtime's split, but for a quoted argument that ends in one backslash and its quote.
TEST(Win32, TheHelpScreensQuotedFolderEndsItsArgument) {
    const struct {
        const wchar_t* line;
        std::vector<std::wstring> args;
        bool folder_quote;
    } cases[] = {{LR"(v.exe -r -p="c:\Program files\" -f="Check file.sfv" *.*)",
                  {L"v.exe", L"-r", LR"(-p=c:\Program files\)", L"-f=Check file.sfv", L"*.*"},
                  true},
                 {LR"("c:\a b\v.exe" a\\\"b "x y" "" a"b"c \\\\"q" "d\")",
                  {LR"(c:\a b\v.exe)", LR"(a\"b)", L"x y", L"", L"abc", LR"(\\q)", LR"(d\)"},
                  true},
                 {LR"(v a\\"b c" \d)", {L"v", LR"(a\b c)", LR"(\d)"}, false}};
    for (const auto& c : cases) {
        wchar_t text[256];
        wchar_t* args[16];
        bool folder_quote = false;
        const int n = plat_win32::split_command_line(c.line, text, args, 15, &folder_quote);
        EXPECT_EQ(std::vector<std::wstring>(args, args + n), c.args);
        EXPECT_EQ(folder_quote, c.folder_quote) << n;
    }
}

// Two pages that cannot be read, the first under guard. A fault the guard must leave alone
// reaches the next handler, which counts it and makes the pages readable.
unsigned char* pages;
const unsigned char* touched;
LONG passed_on;

LONG CALLBACK next_handler(EXCEPTION_POINTERS*) {
    DWORD old = 0;
    ++passed_on;
    return VirtualProtect(pages, 2 * 4096, PAGE_READONLY, &old) ? EXCEPTION_CONTINUE_EXECUTION
                                                                : EXCEPTION_CONTINUE_SEARCH;
}

DWORD WINAPI touch(void*) {
    return *static_cast<const volatile unsigned char*>(touched);
}

std::uint32_t touch_here(std::uint32_t state, const unsigned char*, std::size_t) {
    return state + touch(nullptr);
}

std::uint32_t touch_elsewhere(std::uint32_t state, const unsigned char*, std::size_t) {
    HANDLE thread = CreateThread(nullptr, 0, touch, nullptr, 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return state;
}

TEST(Win32, OnlyAFaultInTheViewOnItsOwnThreadEndsTheRead) {
    pages = static_cast<unsigned char*>(
        VirtualAlloc(nullptr, 2 * 4096, MEM_RESERVE | MEM_COMMIT, PAGE_NOACCESS));
    void* next = AddVectoredExceptionHandler(0, next_handler);
    const struct {
        std::size_t offset;
        PlatViewReader reader;
        bool whole;
        LONG passed_on;
    } cases[] = {
        {0, touch_here, false, 0}, {4096, touch_here, true, 1}, {0, touch_elsewhere, true, 1}};
    for (const auto& c : cases) {
        DWORD old = 0;
        VirtualProtect(pages, 2 * 4096, PAGE_NOACCESS, &old);
        touched = pages + c.offset;
        passed_on = 0;
        std::uint32_t state = 0;
        EXPECT_EQ(plat_read_view(c.reader, &state, pages, 4096), c.whole) << c.offset;
        EXPECT_EQ(passed_on, c.passed_on) << c.offset;
    }
    RemoveVectoredExceptionHandler(next);
    VirtualFree(pages, 0, MEM_RELEASE);
}

} // namespace
