// The build list's duplicate test over a directory's worth of names: with the index half full,
// probe chains form and wrap past the table's end, and each name must still be found.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "sfv/name_index.h"

namespace {

TEST(NameIndex, AFullListFindsEveryNameItHoldsAndNoOther) {
    const auto index = std::make_unique<NameIndex>();
    // Several directories, as a walk indexes them one after another in the same index.
    for (const char* stem : {"file", "IMG_", "track ", "part."}) {
        std::vector<std::string> names(MAX_LISTED_FILES);
        std::vector<char*> list(MAX_LISTED_FILES);
        for (int i = 0; i < MAX_LISTED_FILES; ++i)
            list[i] = (names[i] = stem + std::to_string(i) + ".bin").data();
        name_index_clear(index.get());
        int wrong = 0;
        for (int i = 0; i < MAX_LISTED_FILES; ++i) {
            wrong += name_listed(index.get(), list.data(), list[i]); // not yet
            name_index_add(index.get(), list.data(), i);
        }
        for (const std::string& name : names)
            wrong += !name_listed(index.get(), list.data(), name.c_str()) +
                     name_listed(index.get(), list.data(), (name + "x").c_str());
        EXPECT_EQ(wrong, 0) << stem;
    }
}

} // namespace
