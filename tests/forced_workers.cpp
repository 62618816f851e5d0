// Linked into the test and benchmark builds of the program that run with a fixed number of
// checksum workers, whatever the machine, and take each directory's device from its name, so
// that one tree mixes every spread: a last component ending in ".slow" reads in turn,
// ".cached" ahead only what is in memory (where that is known), any other ahead; nothing is
// learned. The program itself has no option for either.
#include <cstring>

#include "checksum/crc_queue.h"
#include "common/text.h"
#include "platform/platform.h"

namespace {

CrcPlan plan_by_name(const char* dir) {
    std::size_t len = std::strlen(dir);
    while (len > 0 && is_path_separator(dir[len - 1]))
        --len;
    const auto ends_with = [&](const char* suffix) {
        const std::size_t n = std::strlen(suffix);
        return len >= n && std::memcmp(dir + len - n, suffix, n) == 0;
    };
    if (ends_with(".cached") && plat_residency_known())
        return CrcPlan{CrcSpread::CachedAhead, false, false, 0};
    const bool slow = ends_with(".slow") || ends_with(".cached");
    return CrcPlan{slow ? CrcSpread::InTurn : CrcSpread::Ahead, false, false, 0};
}

const bool forced = (crc_workers_force(VELMORA_FORCED_WORKERS), crc_plans_from(plan_by_name), true);

} // namespace
