// The spread of a queue's reads: what the device says of itself, and what the run learned.
#include "checksum/crc_spread.h"

#include <climits>

#include "platform/platform.h"

namespace {

// Set before main by the hook, read-only afterwards.
CrcPlan (*plans_from)(const char* dir) = nullptr;

// Measured here (bench/README.md), starting and stopping two workers costs about what they save
// on 4 MiB of files of 1 MiB, or on some 250 files of 4 KiB: below that, one thread is done
// sooner. Each file weighs its open and close besides its bytes.
constexpr std::uint64_t SHARE_WORK = std::uint64_t{4} << 20;
constexpr std::uint64_t FILE_WEIGHT = std::uint64_t{16} << 10;

// What was learned, per device: only the thread that begins queues (the main thread) reads and
// writes it. A run meets few devices; past the table's room a device is learned again.
struct Learned {
    std::uint64_t device;
    bool parallel;
    int trials_lost;
};
constexpr int MAX_LEARNED = 16;
Learned learned[MAX_LEARNED];
int learned_count = 0;

ViewTrial run_views;

Learned* learned_of(std::uint64_t device) {
    for (int i = 0; i < learned_count; ++i) {
        if (learned[i].device == device)
            return &learned[i];
    }
    return nullptr;
}

} // namespace

CrcPlan crc_plan_for(const char* dir) {
    if (plans_from != nullptr)
        return plans_from(dir);
    PlatDevice device;
    const bool known = plat_device_of(dir, &device);
    return crc_plan_of(known ? &device : nullptr, plat_residency_known());
}

CrcPlan crc_plan_of(const PlatDevice* device, bool residency_known) {
    if (device == nullptr || device->kind == DeviceKind::Memory ||
        device->kind == DeviceKind::Solid)
        return CrcPlan{CrcSpread::Ahead, false, false, 0};
    // A device that says it seeks may not (a virtual disk), and one with no device to ask may
    // (a network share of a spinning disk): where what is in memory can be told from what is
    // not, the reads that must come from the device show which.
    if (!residency_known) {
        return CrcPlan{device->kind == DeviceKind::Rotating ? CrcSpread::InTurn : CrcSpread::Ahead,
                       false, false, device->id};
    }
    const Learned* known = learned_of(device->id);
    if (known == nullptr)
        return CrcPlan{CrcSpread::CachedAhead, true, false, device->id};
    return known->parallel
               ? CrcPlan{CrcSpread::Ahead, false, true, device->id}
               : CrcPlan{CrcSpread::CachedAhead, true, false, device->id, known->trials_lost};
}

void crc_device_learned(std::uint64_t device, bool parallel) {
    Learned* known = learned_of(device);
    if (known == nullptr && learned_count < MAX_LEARNED)
        known = &(learned[learned_count++] = Learned{device, false, 0});
    if (known != nullptr && parallel)
        known->parallel = true;
    else if (known != nullptr)
        ++known->trials_lost;
}

int crc_turn_before_trial(int trials_lost) {
    if (trials_lost == 0)
        return LEARN_TURN_FILES;
    // Past some 2^22 files a disk that seeks has paid eleven trials; the rest read in turn.
    return trials_lost > 10 ? INT_MAX : LEARN_AGAIN_FILES << (trials_lost - 1);
}

TrialVerdict crc_trial_verdict(const LearnTimes* t) {
    if (t->turn_files == 0 || t->turn_ns == 0)
        return TrialVerdict::Undecided;
    // Half again the rate in turn: a disk that seeks came within a third of it (requests that
    // happen to follow one another), a virtual disk that does not reached 1.7 to 2.6 times it.
    const double turn_rate = static_cast<double>(t->turn_bytes) / static_cast<double>(t->turn_ns);
    const double per_file_ns = static_cast<double>(t->turn_ns) / t->turn_files;
    const double trial_ns = static_cast<double>(t->trial_ns);
    const bool wins = static_cast<double>(t->trial_bytes) >= 1.5 * turn_rate * trial_ns;
    if (t->trial_files >= LEARN_TRIAL_FILES) {
        if (wins)
            return TrialVerdict::Parallel;
        return static_cast<double>(t->trial_bytes) > turn_rate * trial_ns ? TrialVerdict::Unclear
                                                                          : TrialVerdict::Seeks;
    }
    return !wins && trial_ns >= per_file_ns * LEARN_TRIAL_FILES ? TrialVerdict::Seeks
                                                                : TrialVerdict::Undecided;
}

void crc_plans_from(CrcPlan (*plan_for)(const char* dir)) {
    plans_from = plan_for;
}

bool crc_worth_sharing(std::uint64_t pending, std::uint64_t own_files, std::uint64_t own_bytes) {
    const std::uint64_t average = own_files == 0 ? 0 : own_bytes / own_files;
    return pending > 1 && pending * (average + FILE_WEIGHT) >= SHARE_WORK;
}

ViewTicket view_trial_begin(ViewTrial* trial) {
    const std::lock_guard<std::mutex> held(trial->lock);
    if (trial->decided)
        return ViewTicket{trial->kept, -1};
    const int n = trial->begun;
    if (n > 2 * VIEW_TRIAL) // the trial's views are still being read
        return ViewTicket{ViewAsk::Not, -1};
    ++trial->begun;
    if (n == 0)
        return ViewTicket{ViewAsk::Not, -1};
    return n <= VIEW_TRIAL ? ViewTicket{ViewAsk::Not, 0} : ViewTicket{ViewAsk::Whole, 1};
}

void view_trial_end(ViewTrial* trial, ViewTicket ticket, std::uint64_t bytes, std::int64_t ns) {
    if (ticket.part < 0)
        return;
    const std::lock_guard<std::mutex> held(trial->lock);
    trial->bytes[ticket.part] += bytes;
    trial->ns[ticket.part] += static_cast<std::uint64_t>(ns > 0 ? ns : 1);
    ++trial->timed[ticket.part];
    if (trial->decided || trial->timed[0] < VIEW_TRIAL || trial->timed[1] < VIEW_TRIAL)
        return;
    // Rates compared as bytes asked × time as they came against bytes as they came × time asked.
    const double asked = static_cast<double>(trial->bytes[1]) * static_cast<double>(trial->ns[0]);
    const double as_came = static_cast<double>(trial->bytes[0]) * static_cast<double>(trial->ns[1]);
    trial->decided = true;
    trial->kept = asked >= VIEW_ASK_GAIN * as_came ? ViewAsk::WholeAndNext : ViewAsk::Not;
}

ViewTrial* crc_view_trial() {
    return &run_views;
}
