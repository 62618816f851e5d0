// The checksum queue driven through files of its own: which are in memory, how many may be open
// at once, and what a read from the device costs, on a clock that moves only by those costs.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "checksum/crc_queue.h"
#include "platform/platform.h"

namespace {

constexpr std::uint64_t FILE_BYTES = 4096;

std::uint32_t crc_of_file(int index) {
    return 0x9E3779B9u * static_cast<std::uint32_t>(index + 1);
}

struct Device {
    Device(int files, int open_limit, std::int64_t worker_cost)
        : in_memory(files), open_limit(open_limit), worker_cost(worker_cost), reads(files) {}
    std::vector<bool> in_memory;
    int open_limit;                  // files open at once; past it an open is refused for now
    int refused_to_workers = -1;     // a file a worker's open is refused
    std::int64_t caller_cost = 1000; // ns a read from the device takes on the caller's thread
    std::int64_t first_cost = 0;     // and its first, a seek to where the files begin, if not 0
    std::int64_t worker_cost;        // and on a worker's
    int cheaper_after = -1;          // reads from the device, after which a worker's cost 250
    std::chrono::milliseconds worker_pause{0}; // real time a worker holds a file it reads
    std::thread::id caller = std::this_thread::get_id();
    std::mutex lock;
    int open = 0;
    std::set<std::thread::id> readers; // workers that read a file
    std::vector<int> reads;
    std::atomic<std::int64_t> clock{1};
    std::atomic<int> prefetched{0};
    int worker_reads = 0;                  // from the device
    std::uint64_t file_bytes = FILE_BYTES; // each read yields
    int device_reads = 0;
};

FileStep step(void* context, const char* path, NameCode, PathSeen, bool cached_only, ReadBuffer*,
              OpenedFile* file, CrcResult* result) {
    auto* d = static_cast<Device*>(context);
    const int index = std::atoi(path);
    std::unique_lock<std::mutex> hold(d->lock);
    *result = CrcResult{0, false};
    const bool worker = std::this_thread::get_id() != d->caller;
    if (file->handle == 0) {
        if (d->open >= d->open_limit || (worker && index == d->refused_to_workers))
            return FileStep::Retry;
        ++d->open;
        *file = OpenedFile{static_cast<PlatHandle>(index + 1), FILE_BYTES, 0};
    }
    if (!d->in_memory[index] && cached_only)
        return FileStep::NotCached;
    if (worker)
        d->readers.insert(std::this_thread::get_id());
    if (worker && d->worker_pause.count() > 0) {
        hold.unlock();
        std::this_thread::sleep_for(d->worker_pause);
        hold.lock();
        EXPECT_NE(file->handle, 0u) << "file " << index << " let go while a worker read it";
    }
    if (!d->in_memory[index]) {
        if (++d->device_reads == d->cheaper_after)
            d->worker_cost = 250;
        d->clock += worker               ? d->worker_cost
                    : d->first_cost != 0 ? std::exchange(d->first_cost, 0)
                                         : d->caller_cost;
        d->worker_reads += worker;
    }
    --d->open;
    *file = OpenedFile{};
    ++d->reads[index];
    *result = CrcResult{crc_of_file(index), true, d->file_bytes};
    return FileStep::Done;
}

void release(void* context, OpenedFile* file) {
    auto* d = static_cast<Device*>(context);
    const std::lock_guard<std::mutex> hold(d->lock);
    --d->open;
    *file = OpenedFile{};
}

// Takes files 0 to count-1 through a queue on d, each submitted while there is room, every
// 50th as an item not to read: every file must come back in order with its own checksum, read
// once, the others unread.
void take_all(Device* d, CrcPlan plan, int count, int workers = 4) {
    const CrcIo io{d,
                   step,
                   release,
                   [](void* c, const OpenedFile* f) -> bool {
                       return static_cast<Device*>(c)->in_memory[f->handle - 1];
                   },
                   [](void* c, const OpenedFile*) { ++static_cast<Device*>(c)->prefetched; },
                   [](void* c) -> std::int64_t { return static_cast<Device*>(c)->clock; },
                   workers};
    static CrcQueue queue;
    crc_queue_begin(&queue, plan);
    crc_queue_io(&queue, &io);
    int submitted = 0;
    for (int i = 0; i < count; ++i) {
        for (; submitted < count && crc_queue_has_room(&queue); ++submitted) {
            if (submitted % 50 == 49)
                crc_queue_submit_unread(&queue, "", submitted, 7);
            else
                crc_queue_submit(&queue, std::to_string(submitted).c_str(), "", submitted);
        }
        CrcTaken taken;
        ASSERT_TRUE(crc_queue_take(&queue, &taken));
        EXPECT_EQ(taken.tag, static_cast<std::uint64_t>(i));
        EXPECT_EQ(taken.kind, i % 50 == 49 ? 7 : 0) << i;
        EXPECT_EQ(taken.result.read, i % 50 != 49) << i;
        EXPECT_EQ(taken.result.crc, i % 50 != 49 ? crc_of_file(i) : 0) << i;
    }
    EXPECT_FALSE(crc_queue_ready(&queue)); // all taken
    crc_queue_end(&queue);
    for (int i = 0; i < count; ++i)
        EXPECT_EQ(d->reads[i], i % 50 != 49) << i;
    EXPECT_EQ(d->open, 0);
}

// A device that says it seeks is learned: the caller reads some files in turn, then workers
// try the rest, and reading ahead holds for the device from then on once it is clearly faster:
// every file read there later is asked of the device ahead of its read. The first seek is no
// part of the rate in turn; a trial lost leaves the files it had not begun to the caller, and
// the next trial waits for more files in turn; one unclear is tried again at once, up to a limit.
TEST(QueueStates, ADeviceIsLearnedFromWhatItsReadsCost) {
    // The trial's files, and what its workers may begin before the caller judges it.
    constexpr int LOST_TRIAL_READS = LEARN_TRIAL_FILES + 3 * LEARN_IO_WORKERS;
    constexpr int UNCLEAR_READS = LEARN_TRIALS * LOST_TRIAL_READS;
    constexpr int AGAIN = LEARN_AGAIN_FILES + 300; // room for a second trial, not a third
    const struct {
        std::int64_t worker_cost, first_cost; // the caller's: 1000
        int cheaper_after, files;
        CrcPlan learned;
        int most_by_workers;
    } rows[] = {
        {250, 0, -1, 200, {CrcSpread::Ahead, false, true, 0}, 200},
        {800, 100'000, -1, 200, {CrcSpread::CachedAhead, true, false, 0, 1}, UNCLEAR_READS},
        {800, 0, 60, 200, {CrcSpread::Ahead, false, true, 0}, 200},
        {8000, 0, -1, AGAIN, {CrcSpread::CachedAhead, true, false, 0, 2}, 2 * LOST_TRIAL_READS},
        {8000, 0, 300, AGAIN, {CrcSpread::Ahead, false, true, 0}, AGAIN}};
    std::uint64_t id = 0x51ED0000;
    for (const auto& row : rows) {
        Device d(row.files, 1000, row.worker_cost);
        d.first_cost = row.first_cost;
        d.cheaper_after = row.cheaper_after;
        d.worker_pause = std::chrono::milliseconds(1);
        take_all(&d, CrcPlan{CrcSpread::CachedAhead, true, false, ++id}, row.files);
        EXPECT_LE(d.worker_reads, row.most_by_workers) << row.worker_cost;
        const PlatDevice device{id, DeviceKind::Rotating};
        const CrcPlan now = crc_plan_of(&device, true);
        EXPECT_EQ(now.spread, row.learned.spread) << row.worker_cost;
        EXPECT_EQ(now.learn, row.learned.learn) << row.worker_cost;
        EXPECT_EQ(now.trials_lost, row.learned.trials_lost) << row.worker_cost;
        EXPECT_EQ(now.prefetch, row.learned.prefetch) << row.worker_cost;
        Device again(200, 1000, row.worker_cost);
        take_all(&again, now, 200);
        EXPECT_EQ(again.prefetched, row.learned.prefetch ? 200 - 200 / 50 : 0) << row.worker_cost;
    }
}

// With a worker per processor, they start once the files pending are worth sharing by what the
// caller's own reads yielded (forty of 1 MiB are); a device that reads best ahead gets more
// requests in flight than a two-processor machine has workers.
TEST(QueueStates, WorkersStartOnceThePendingFilesAreWorthSharing) {
    if (plat_processor_count() < 2)
        GTEST_SKIP() << "one processor: no workers";
    for (const bool ahead : {false, true}) {
        Device d(40, 1000, 1000);
        d.file_bytes = 1u << 20;
        d.worker_pause = std::chrono::milliseconds(ahead ? 5 : 0);
        take_all(&d, CrcPlan{CrcSpread::Ahead, false, ahead, 0}, 40, 0);
        EXPECT_GT(d.worker_reads, 0);
        EXPECT_TRUE(!ahead || d.readers.size() > 2) << d.readers.size();
    }
}

// A file a worker could not open is tried again by the caller alone, once the workers have let
// go of every file and the files left open for the caller, as many as may be open, are let go;
// every file is read, none twice. Also in a trial, whose caller waits with a time-out.
TEST(QueueStates, AFileRefusedToAWorkerIsReadOnceTheOthersAreLetGo) {
    for (const bool trial : {false, true}) {
        Device d(120, trial ? 1000 : 8, 1000);
        d.in_memory[0] = d.in_memory[1] = !trial;
        d.refused_to_workers = trial ? LEARN_TURN_FILES + 4 : 2;
        d.worker_pause = std::chrono::milliseconds(trial ? 5 : 0);
        take_all(&d, CrcPlan{CrcSpread::CachedAhead, trial, false, trial ? 0x7E7A1u : 0}, 120);
    }
}

} // namespace

// What a directory's device says decides how its files are read: in memory or flash, or not
// known, ahead; a device that says it seeks, in turn unless what is in memory can be told, and
// then it is learned per device: a win holds, trials lost count.
TEST(QueueStates, TheDeviceDecidesHowFilesAreRead) {
    using S = CrcSpread;
    crc_device_learned(0xFA57, true);
    crc_device_learned(0x5EE6, false);
    crc_device_learned(0x5EE6, false);
    crc_device_learned(0x1A7E, false);
    crc_device_learned(0x1A7E, true);
    // clang-format off
    const struct { bool known; DeviceKind kind; std::uint64_t id; bool residency; CrcPlan plan; }
    rows[] = {
        {false, DeviceKind::Rotating, 1, true, {S::Ahead, false, false, 0}},
        {true, DeviceKind::Memory, 2, true, {S::Ahead, false, false, 0}},
        {true, DeviceKind::Solid, 3, true, {S::Ahead, false, false, 0}},
        {true, DeviceKind::Rotating, 4, false, {S::InTurn, false, false, 4}},
        {true, DeviceKind::Unknown, 5, false, {S::Ahead, false, false, 5}},
        {true, DeviceKind::Unknown, 6, true, {S::CachedAhead, true, false, 6}},
        {true, DeviceKind::Rotating, 0xFA57, true, {S::Ahead, false, true, 0xFA57}},
        {true, DeviceKind::Rotating, 0x5EE6, true, {S::CachedAhead, true, false, 0x5EE6, 2}},
        {true, DeviceKind::Rotating, 0x1A7E, true, {S::Ahead, false, true, 0x1A7E}},
    };
    // clang-format on
    for (const auto& row : rows) {
        const PlatDevice device{row.id, row.kind};
        const CrcPlan plan = crc_plan_of(row.known ? &device : nullptr, row.residency);
        EXPECT_EQ(plan.spread, row.plan.spread) << row.id;
        EXPECT_EQ(plan.learn, row.plan.learn) << row.id;
        EXPECT_EQ(plan.prefetch, row.plan.prefetch) << row.id;
        EXPECT_EQ(plan.device, row.plan.device) << row.id;
        EXPECT_EQ(plan.trials_lost, row.plan.trials_lost) << row.id;
    }
}
