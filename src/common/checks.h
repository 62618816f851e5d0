// Invariants checked at run time where the build sets VELMORA_CHECKS (debug, test and
// sanitizer builds): a breach stops the program at once, naming its place, instead of going on
// in a state no code expects. Elsewhere the condition is compiled but never evaluated.
#pragma once

#ifdef VELMORA_CHECKS
#include <cstdio>
#include <cstdlib>

[[noreturn]] inline void velmora_check_failed(const char* what, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, what);
    std::abort();
}
#define VELMORA_CHECK(condition)                                                                   \
    ((condition) ? static_cast<void>(0) : velmora_check_failed(#condition, __FILE__, __LINE__))
#else
#define VELMORA_CHECK(condition) static_cast<void>(true || (condition))
#endif
