// The checksum queue: a window of files in flight, a pool of worker threads that take them
// in order, and large files split into pieces that every worker reads at once.
#include "checksum/crc_queue.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <system_error>
#include <thread>

#include "checksum/crc32.h"
#include "checksum/crc32_kernels.h"
#include "common/constants.h"
#include "common/text.h"
#include "platform/platform.h"

namespace {

constexpr int MAX_WORKERS = 16;
constexpr int WINDOW = CRC_QUEUE_WINDOW;
// The caller sleeps until this many more files are done, not one: a wake per batch, while
// the other half of the window keeps the workers busy.
constexpr std::uint64_t WAKE_BATCH = WINDOW / 2;
// A mapped file of at least two pieces is read in pieces by every worker at once.
constexpr std::uint64_t PIECE_SIZE = std::uint64_t{8} << 20;

// A file read in pieces, set whole for each file so nothing stays from the slot's last one.
struct Split {
    std::uint64_t seq;
    MappedFile mapped;
    std::uint64_t next_piece;
    std::uint64_t piece_count;
    std::uint64_t pieces_left;
    std::uint32_t joined; // XOR of the finished pieces' registers, each moved to the end
    bool failed;
};

struct Slot {
    char path[WORK_PATH_SIZE];
    std::uint32_t crc;
    bool busy; // the open was refused while a handle was open on the file
    // 1 + the sequence number of the file whose checksum is here.
    std::atomic<std::uint64_t> done;
    Split split; // guarded by the pool's lock
};

struct Pool {
    Slot slots[WINDOW];
    // Sequence numbers grow over the whole run, so no queue resets what a worker may be
    // reading.
    std::uint64_t head = 0; // next to take; the caller's
    std::uint64_t tail = 0; // next to submit; the caller's
    std::atomic<std::uint64_t> published{0};
    std::atomic<std::uint64_t> claimed{0};
    std::atomic<std::uint64_t> finished{0};
    bool parallel{};

    std::thread threads[MAX_WORKERS];
    int thread_count = 0;
    bool started = false;

    std::mutex lock;
    std::condition_variable work_ready;
    std::condition_variable files_done;
    std::atomic<int> idle{0};
    std::atomic<bool> caller_waiting{false};
    // Set by the caller before it waits.
    std::atomic<std::uint64_t> awaited;
    std::atomic<std::uint64_t> wake_at;
    bool stopping = false;
    // Slots with pieces left to claim, oldest first; guarded by lock.
    int splits[WINDOW];
    int split_count = 0;
    std::atomic<int> splits_open{0};
};

Pool pool;
// Set by crc_workers_force, perhaps before pool is constructed: constant-initialised.
int forced_workers = 0;

Slot& slot_of(std::uint64_t seq) {
    return pool.slots[seq % WINDOW];
}

bool is_done(std::uint64_t seq) {
    return slot_of(seq).done.load() == seq + 1;
}

void finish(std::uint64_t seq, std::uint32_t crc, bool busy) {
    Slot& slot = slot_of(seq);
    slot.crc = crc;
    slot.busy = busy;
    slot.done.store(seq + 1);
    pool.finished.fetch_add(1);
    // Checked again under the lock, where the caller sets up its wait; cleared by the
    // worker that wakes it, so that it is woken once: the caller may wait a while for a
    // processor, and a wake-up per finished file would cost more than the file.
    if (pool.caller_waiting.load()) {
        std::lock_guard<std::mutex> hold(pool.lock);
        if (pool.caller_waiting.load() && pool.finished.load() >= pool.wake_at.load() &&
            is_done(pool.awaited.load())) {
            pool.caller_waiting.store(false);
            pool.files_done.notify_one();
        }
    }
}

bool claim_file(std::uint64_t* seq) {
    std::uint64_t next = pool.claimed.load();
    while (next < pool.published.load()) {
        if (pool.claimed.compare_exchange_weak(next, next + 1)) {
            *seq = next;
            return true;
        }
    }
    return false;
}

// Reads one unclaimed piece of the oldest split file; the worker that reads the last one
// joins the pieces and finishes the file. False when no piece is left to claim.
bool run_piece() {
    Split* split = nullptr;
    std::uint64_t piece = 0;
    {
        std::lock_guard<std::mutex> hold(pool.lock);
        if (pool.split_count == 0)
            return false;
        split = &pool.slots[pool.splits[0]].split;
        piece = split->next_piece++;
        if (split->next_piece == split->piece_count) {
            std::copy(pool.splits + 1, pool.splits + pool.split_count, pool.splits);
            pool.splits_open.store(--pool.split_count);
        }
    }
    const std::uint64_t size = split->mapped.size;
    const std::uint64_t offset = piece * PIECE_SIZE;
    const std::uint64_t len = std::min(PIECE_SIZE, size - offset);
    std::uint32_t reg = 0;
    const bool whole = plat_read_view(crc32_update, &reg, split->mapped.view + offset, len);
    // Moved to the end of the file, the piece's register joins the others by XOR.
    if (whole)
        reg = crc32_shift(reg, size - offset - len);
    std::unique_lock<std::mutex> hold(pool.lock);
    if (whole)
        split->joined ^= reg;
    else
        split->failed = true;
    if (--split->pieces_left == 0) {
        hold.unlock();
        const std::uint32_t crc = split->failed ? 0 : split->joined ^ 0xFFFFFFFFu;
        unmap_file(&split->mapped);
        finish(split->seq, crc, false);
    }
    return true;
}

void run_file(std::uint64_t seq, ReadBuffer* buffer) {
    Slot& slot = slot_of(seq);
    MappedFile mapped;
    std::uint32_t crc; // set on every path
    const FileStart start = file_crc32_start(slot.path, buffer, &mapped, &crc);
    if (start != FileStart::Mapped) {
        finish(seq, crc, start == FileStart::Busy);
        return;
    }
    if (mapped.size < 2 * PIECE_SIZE) {
        finish(seq, file_crc32_mapped(&mapped), false);
        return;
    }
    plat_advise_sequential(mapped.view, mapped.size);
    std::lock_guard<std::mutex> hold(pool.lock);
    const std::uint64_t pieces = (mapped.size + PIECE_SIZE - 1) / PIECE_SIZE;
    // Every piece starts from 0; the preset register's share is added once, here.
    slot.split =
        Split{seq, mapped, 0, pieces, pieces, crc32_shift(0xFFFFFFFFu, mapped.size), false};
    pool.splits[pool.split_count] = static_cast<int>(seq % WINDOW);
    pool.splits_open.store(++pool.split_count);
    pool.work_ready.notify_all();
}

bool has_work() {
    return pool.stopping || pool.split_count > 0 || pool.claimed.load() < pool.published.load();
}

void worker_main() {
    ReadBuffer buffer{};
    for (;;) {
        if (pool.splits_open.load() > 0 && run_piece())
            continue;
        std::uint64_t seq; // set when a file is claimed
        if (claim_file(&seq)) {
            run_file(seq, &buffer);
            continue;
        }
        std::unique_lock<std::mutex> hold(pool.lock);
        ++pool.idle;
        pool.work_ready.wait(hold, has_work);
        --pool.idle;
        if (pool.stopping)
            break;
    }
    std::free(buffer.data);
}

void start_workers() {
    pool.started = true;
    // As many as the processors online (0 when unknown: the calling thread alone).
    const int online = static_cast<int>(std::thread::hardware_concurrency());
    const int count = std::min(forced_workers > 0 ? forced_workers : online, MAX_WORKERS);
    if (count < 2)
        return;
    for (int i = 0; i < count; ++i) {
        // Fewer workers than processors still work; none at all means the caller computes.
        try {
            pool.threads[i] = std::thread(worker_main);
        } catch (const std::system_error&) {
            break;
        }
        ++pool.thread_count;
    }
    std::atexit(crc_workers_stop);
}

void publish() {
    if (!pool.parallel || pool.published.load() == pool.tail)
        return;
    pool.published.store(pool.tail);
    if (pool.idle.load() > 0) {
        std::lock_guard<std::mutex> hold(pool.lock);
        pool.work_ready.notify_all();
    }
}

// Sleeps until the file at head is done and the count of finished files reaches target.
void wait_for(std::uint64_t head, std::uint64_t target) {
    std::unique_lock<std::mutex> hold(pool.lock);
    pool.awaited.store(head);
    pool.wake_at.store(target);
    pool.caller_waiting.store(true);
    pool.files_done.wait(hold, [&] { return is_done(head) && pool.finished.load() >= target; });
    // Cleared by the worker that woke it, or here when the wait was over before it began.
    pool.caller_waiting.store(false);
}

} // namespace

void crc_queue_begin(const char* dir) {
    if (!pool.started)
        start_workers();
    pool.parallel = pool.thread_count > 1 && (forced_workers > 1 || !plat_seek_penalty(dir));
}

bool crc_queue_has_room() {
    return pool.tail - pool.head < WINDOW;
}

void crc_queue_submit(const char* path) {
    Slot& slot = slot_of(pool.tail);
    // A path that does not fit is left empty, which names no file.
    str_copy(slot.path, sizeof slot.path, path);
    ++pool.tail;
}

std::uint32_t crc_queue_take() {
    const std::uint64_t head = pool.head++;
    Slot& slot = slot_of(head);
    if (!pool.parallel)
        return file_crc32(slot.path);
    // Files go to the workers a batch at a time, or all when the caller must wait: a worker
    // woken for every single file would cost more than the file.
    if (!is_done(head)) {
        publish();
        // Every file before head is finished and none unpublished can be: the count
        // reaches its target once that many of the files from head on are done.
        wait_for(head, std::min(head + WAKE_BATCH, pool.published.load()));
    } else if (pool.tail - pool.published.load() >= WAKE_BATCH) {
        publish();
    }
    if (!slot.busy)
        return slot.crc;
    // Refused while open: perhaps by a worker reading the same file under another name.
    // Once every file in flight is done, this thread tries again alone.
    wait_for(head, pool.published.load());
    return file_crc32(slot.path);
}

void crc_queue_end() {
    while (pool.head < pool.tail)
        crc_queue_take();
}

void crc_workers_force(int count) {
    forced_workers = std::max(1, count);
}

void crc_workers_stop() {
    {
        std::lock_guard<std::mutex> hold(pool.lock);
        pool.stopping = true;
    }
    pool.work_ready.notify_all();
    for (int i = 0; i < pool.thread_count; ++i)
        pool.threads[i].join();
    pool.thread_count = 0;
}
