// Shared constants: product identity, file names and buffer sizes.
#pragma once

#include <cstddef>

// The same value and name as the Windows macro, so both agree when <windows.h> is present.
#ifndef MAX_PATH
#define MAX_PATH 260
#endif

inline constexpr const char* PRODUCT_NAME = "Velmora";
inline constexpr const char* PRODUCT_VERSION = "v0.1";
inline constexpr const char* REDIRECT_FILE_NAME = "dunout.txt";
inline constexpr const char* DEFAULT_SFV_NAME = "dunel.sfv";
inline constexpr const char* DEFAULT_BUILD_DIR = ".\\";

// SFV reader line buffer, terminating NUL included.
inline constexpr std::size_t SFV_LINE_SIZE = 4096;
// Build-mode working path buffer, terminating NUL included.
inline constexpr std::size_t WORK_PATH_SIZE = 300;
// Capacity of one directory's build list.
inline constexpr int MAX_LISTED_FILES = 16384;
