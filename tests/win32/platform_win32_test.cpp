// What only the Win32 layer does: drive-letter paths and device names. The rest of the
// layer is exercised by the end-to-end suite running the Windows program.
#include <gtest/gtest.h>

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

} // namespace
