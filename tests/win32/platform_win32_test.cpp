// What only the Win32 layer does: drive-letter paths, device names and the per-thread guard
// of a view being read. The rest of the layer is exercised by the end-to-end suite running
// the Windows program.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>

#include "platform/platform.h"

namespace {

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

TEST(Win32Devices, DeviceNamesAreNeitherMappedNorStreamed) {
    for (const char* name : {"nul", "NUL", "con"}) {
        PlatHandle handle = 0;
        EXPECT_NE(plat_open_exclusive(name, &handle), OpenResult::Opened) << name;
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

// Two pages that cannot be read; the view under guard is the first. A fault the guard must
// leave alone reaches the handler below, which counts it and lets the read go on.
unsigned char* pages;
const unsigned char* touched;
bool from_other_thread;
LONG passed_on;

LONG CALLBACK next_handler(EXCEPTION_POINTERS* info) {
    if (info->ExceptionRecord->ExceptionCode != EXCEPTION_ACCESS_VIOLATION)
        return EXCEPTION_CONTINUE_SEARCH;
    ++passed_on;
    DWORD old = 0;
    VirtualProtect(pages, 2 * 4096, PAGE_READONLY, &old);
    return EXCEPTION_CONTINUE_EXECUTION;
}

DWORD WINAPI touch(void*) {
    return *static_cast<const volatile unsigned char*>(touched);
}

std::uint32_t touching_reader(std::uint32_t state, const unsigned char*, std::size_t) {
    HANDLE thread =
        from_other_thread ? CreateThread(nullptr, 0, touch, nullptr, 0, nullptr) : nullptr;
    if (thread != nullptr) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    } else {
        touch(nullptr);
    }
    return state + 1;
}

TEST(Win32ViewGuard, OnlyAFaultInTheViewOnItsOwnThreadEndsTheRead) {
    pages = static_cast<unsigned char*>(
        VirtualAlloc(nullptr, 2 * 4096, MEM_RESERVE | MEM_COMMIT, PAGE_NOACCESS));
    ASSERT_NE(pages, nullptr);
    void* next = AddVectoredExceptionHandler(0, next_handler);
    struct Case {
        std::size_t offset;
        bool other_thread;
        bool read_whole;
        LONG passed_on;
    } cases[] = {{0, false, false, 0}, {4096, false, true, 1}, {0, true, true, 1}};
    for (const Case& c : cases) {
        DWORD old = 0;
        VirtualProtect(pages, 2 * 4096, PAGE_NOACCESS, &old);
        touched = pages + c.offset;
        from_other_thread = c.other_thread;
        passed_on = 0;
        std::uint32_t state = 0;
        EXPECT_EQ(plat_read_view(touching_reader, &state, pages, 4096), c.read_whole) << c.offset;
        EXPECT_EQ(passed_on, c.passed_on) << c.offset << " " << c.other_thread;
    }
    RemoveVectoredExceptionHandler(next);
    VirtualFree(pages, 0, MEM_RELEASE);
}

} // namespace
