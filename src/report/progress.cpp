// The progress line's timing; what it says and how it is drawn are in report.cpp.
#include "report/progress.h"

#include <chrono>

#include "checksum/crc_queue.h"
#include "platform/platform.h"
#include "report/report.h"

namespace {

using Clock = std::chrono::steady_clock;

// A run shorter than this shows nothing; a line lasts at least REDRAW.
constexpr auto FIRST_DRAW = std::chrono::seconds(1);
constexpr auto REDRAW = std::chrono::milliseconds(100);

bool wanted = false;
Clock::time_point next_draw;
std::uint64_t count = 0;
bool count_final = true;

} // namespace

void progress_start() {
    wanted = plat_stderr_console();
    next_draw = Clock::now() + FIRST_DRAW;
}

bool progress_wanted() {
    return wanted;
}

void progress_count(std::uint64_t files, bool final) {
    count = files;
    count_final = final;
}

void progress_tick(std::uint64_t files_done, const char* name, NameCode code, std::uint64_t done,
                   std::uint64_t size) {
    if (!wanted)
        return;
    const Clock::time_point now = Clock::now();
    if (now < next_draw)
        return;
    next_draw = now + REDRAW;
    report_progress(files_done, count, count_final, name, code, done, size, plat_console_columns());
}

static void look_at_queue(void* /*context*/, const CrcQueue* queue) {
    CrcProgress at{};
    if (crc_queue_progress(queue, &at))
        progress_tick(at.files_done, at.label, at.code, at.done, at.size);
}

CrcWatch progress_watch() {
    return CrcWatch{wanted ? look_at_queue : nullptr, nullptr};
}

void progress_end() {
    if (wanted)
        report_progress_erase();
}
