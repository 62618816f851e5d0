// Where tests make their scratch directories: the build's own folder, emptied at the start of
// each run, so a test killed on its time-out leaves nothing behind in the machine's /tmp.
#pragma once

#include <filesystem>

inline std::filesystem::path test_tmp_root() {
#ifdef VELMORA_TEST_TMP
    if (std::error_code ec; std::filesystem::is_directory(VELMORA_TEST_TMP, ec))
        return VELMORA_TEST_TMP;
#endif
    return std::filesystem::temp_directory_path();
}
