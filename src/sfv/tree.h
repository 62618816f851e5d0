// Build mode over a tree: the recursive walk of -r.
#pragma once

#include "sfv/build.h"

// build_sfv on dir and then, depth first, on every directory below it.
void build_sfv_tree(const char* sfv_name, const char* dir, const char* shown_dir,
                    const PatternList* patterns);
