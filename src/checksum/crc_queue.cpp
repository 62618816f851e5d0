// The checksum queue: a window of files in flight, workers that claim them in order, and
// large files split into pieces that every worker reads at once.
#include "checksum/crc_queue.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "common/checks.h"
#include "common/text.h"
#include "platform/platform.h"

namespace {

constexpr int WINDOW = CRC_QUEUE_WINDOW;
// The caller sleeps until this many more files are resolved, not one: a wake per batch,
// while the other half of the window keeps the workers busy.
constexpr std::uint64_t WAKE_BATCH = WINDOW / 2;

// The outcomes of a run of files one worker claimed at once.
struct FileSteps {
    FileStep step[8];
};

FileStep system_step(void*, const char* path, NameCode code, PathSeen seen, bool cached_only,
                     ReadBuffer* buffer, OpenedFile* file, CrcResult* result) {
    return file_checksum_step(path, code, seen, cached_only, buffer, file, result);
}

void system_release(void*, OpenedFile* file) {
    file_release(file);
}

bool system_cached(void*, const OpenedFile* file) {
    return plat_data_cached(file->handle, file->size);
}

void system_prefetch(void*, const OpenedFile* file) {
    plat_prefetch(file->handle, file->size);
}

std::int64_t system_now_ns(void*) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Its workers are set before main by the hook, read-only afterwards: constant-initialised.
CrcIo system_io{nullptr, system_step, system_release, system_cached, system_prefetch, system_now_ns,
                0};

FileStep step_of(CrcQueue* q, CrcSlot* slot, bool cached_only, ReadBuffer* buffer) {
    if (slot->unread) {
        slot->result = CrcResult{0, false};
        return FileStep::Done;
    }
    return q->io->step(q->io->context, slot->path, slot->code, slot->seen, cached_only, buffer,
                       &slot->file, &slot->result);
}

std::int64_t now_ns(const CrcQueue* q) {
    return q->io->now_ns(q->io->context);
}

CrcSlot& slot_of(CrcQueue* q, std::uint64_t seq) {
    return q->slots[seq % WINDOW];
}

// lock held, on any thread: the counts the header orders, as far as the lock covers them.
void check_shared(const CrcQueue* q) {
    VELMORA_CHECK(q->claimed <= q->published);
    VELMORA_CHECK(q->running >= 0 && q->idle >= 0);
    VELMORA_CHECK(q->split_count >= 0 && q->split_count <= WINDOW);
    VELMORA_CHECK(q->returned_count >= 0 && q->returned_count <= WINDOW);
}

// Caller, lock held: and the caller's own counts around them.
void check_counts(const CrcQueue* q) {
    check_shared(q);
    VELMORA_CHECK(q->published <= q->tail && q->tail - q->head <= WINDOW);
    VELMORA_CHECK(q->head <= q->done_until && q->done_until <= q->tail);
}

// lock held. A file left for the caller ends any wait for it at once: the caller reads it
// while the workers go on. So does the file awaited once done while a file in pieces is read,
// which may take long: the verdicts before it must not wait for it.
bool caller_may_go(CrcQueue* q, CallerWait wait) {
    if (wait == CallerWait::Idle)
        return q->claimed == q->published && q->running == 0 && q->split_count == 0 &&
               q->returned_count == 0;
    const SlotState awaited = slot_of(q, q->awaited).state;
    return awaited == SlotState::ForCaller ||
           (awaited != SlotState::Pending && (q->resolved >= q->wake_at || q->split_count > 0));
}

// lock held. Whatever makes the caller's wait over can only grow until the caller acts.
void wake_caller_if_ready(CrcQueue* q) {
    if (q->caller_wait != CallerWait::None && caller_may_go(q, q->caller_wait))
        q->files_done.notify_one();
}

// lock held. The first outcome of a file that left a thread's hands.
void record(CrcQueue* q, std::uint64_t seq, FileStep step) {
    CrcSlot& slot = slot_of(q, seq);
    if (step == FileStep::Pieces) {
        slot.next_piece = 0;
        slot.pieces_left = file_piece_count(&slot.file);
        slot.joined = file_pieces_base(&slot.file);
        slot.failed = false;
        q->splits[q->split_count++] = seq;
        q->work_ready.notify_all();
        return;
    }
    if (step == FileStep::NotCached && q->trial) {
        // Claimed before the trial began, it is the trial's too: read in turn meanwhile, it
        // would count against the trial's time but not for its rate.
        q->returned[q->returned_count++] = seq;
        q->work_ready.notify_one();
        return;
    }
    slot.state = step == FileStep::Done        ? SlotState::Done
                 : step == FileStep::NotCached ? SlotState::ForCaller
                                               : SlotState::Retry;
    ++q->resolved;
    check_shared(q);
    wake_caller_if_ready(q);
}

// lock held on entry and on return. Reads one unclaimed piece of the oldest split file; the
// thread that reads its last piece releases the file and resolves it.
void run_piece(CrcQueue* q, std::unique_lock<std::mutex>& hold) {
    VELMORA_CHECK(hold.owns_lock() && q->split_count > 0);
    const std::uint64_t seq = q->splits[0];
    CrcSlot& slot = slot_of(q, seq);
    const std::uint64_t piece = slot.next_piece++;
    if (slot.next_piece == file_piece_count(&slot.file)) {
        std::copy(q->splits + 1, q->splits + q->split_count, q->splits);
        --q->split_count;
    }
    ++q->running;
    hold.unlock();
    std::uint32_t reg; // set when the piece is read
    const bool whole = file_checksum_piece(&slot.file, piece, &reg);
    slot.bytes_done.fetch_add(file_piece_length(&slot.file, piece), std::memory_order_relaxed);
    hold.lock();
    --q->running;
    if (whole)
        slot.joined ^= reg;
    else
        slot.failed = true;
    // Once all pieces are in: the file must not have changed while any was read.
    if (--slot.pieces_left == 0) {
        slot.result = file_finish(&slot.file, !slot.failed, slot.joined);
        slot.state = SlotState::Done;
        ++q->resolved;
    }
    wake_caller_if_ready(q);
}

// lock held on entry and on return. Claims a run of files, as many as leave the others a
// share, and records them together: one lock for several small files, not two for each.
void run_claimed(CrcQueue* q, std::unique_lock<std::mutex>& hold, ReadBuffer* buffer) {
    VELMORA_CHECK(hold.owns_lock());
    const std::uint64_t first = q->claimed;
    // A trial claims one file at a time: what its workers hold when it is judged lost is read
    // out of turn, and on a disk that seeks each such read costs a seek.
    const std::uint64_t count = q->trial ? 1
                                         : std::clamp<std::uint64_t>((q->published - first) / 4, 1,
                                                                     std::size(FileSteps{}.step));
    q->claimed += count;
    q->running += static_cast<int>(count);
    // What is in memory first; then, in a trial or on a device that reads best with many
    // requests at once, the rest here rather than by the caller in turn, asked of the device
    // together.
    const bool prefetch = q->plan.prefetch || q->trial;
    const bool cached_only = q->plan.spread == CrcSpread::CachedAhead || prefetch;
    const bool trial = q->trial;
    hold.unlock();
    FileSteps done{};
    for (int pass = 0; pass < (prefetch ? 2 : 1); ++pass) {
        if (pass == 1) {
            for (std::uint64_t i = 0; i < count; ++i) {
                const OpenedFile& file = slot_of(q, first + i).file;
                if (done.step[i] == FileStep::NotCached && file.handle != 0)
                    q->io->prefetch(q->io->context, &file);
            }
        }
        for (std::uint64_t i = 0; i < count; ++i) {
            if (pass == 1 && done.step[i] != FileStep::NotCached)
                continue;
            CrcSlot& slot = slot_of(q, first + i);
            done.step[i] = step_of(q, &slot, pass == 0 && cached_only, buffer);
            if (trial && pass == 1 && done.step[i] == FileStep::Done) {
                q->trial_bytes.fetch_add(slot.result.bytes, std::memory_order_relaxed);
                q->trial_files.fetch_add(1, std::memory_order_relaxed);
            }
            // Its pieces can start on other workers at once.
            if (done.step[i] == FileStep::Pieces) {
                slot.size_seen.store(slot.file.size, std::memory_order_relaxed);
                hold.lock();
                --q->running;
                record(q, first + i, FileStep::Pieces);
                hold.unlock();
            }
        }
    }
    hold.lock();
    for (std::uint64_t i = 0; i < count; ++i) {
        if (done.step[i] != FileStep::Pieces) {
            --q->running;
            record(q, first + i, done.step[i]);
        }
    }
}

// lock held on entry and on return. Reads a file the caller handed back in a trial, counting
// what it read from the device.
void run_returned(CrcQueue* q, std::unique_lock<std::mutex>& hold, ReadBuffer* buffer) {
    VELMORA_CHECK(hold.owns_lock() && q->returned_count > 0);
    const std::uint64_t seq = q->returned[0];
    std::copy(q->returned + 1, q->returned + q->returned_count, q->returned);
    --q->returned_count;
    ++q->running;
    hold.unlock();
    CrcSlot& slot = slot_of(q, seq);
    const FileStep step = step_of(q, &slot, false, buffer);
    if (step == FileStep::Done) {
        q->trial_bytes.fetch_add(slot.result.bytes, std::memory_order_relaxed);
        q->trial_files.fetch_add(1, std::memory_order_relaxed);
    }
    if (step == FileStep::Pieces)
        slot.size_seen.store(slot.file.size, std::memory_order_relaxed);
    hold.lock();
    --q->running;
    record(q, seq, step);
}

void worker_main(CrcQueue* q) {
    plat_thread_takes_no_stops();
    ReadBuffer buffer{};
    {
        std::unique_lock<std::mutex> hold(q->lock);
        for (;;) {
            check_shared(q);
            // Pieces first: the oldest file holds up the caller.
            if (q->split_count > 0) {
                run_piece(q, hold);
            } else if (q->returned_count > 0) {
                run_returned(q, hold, &buffer);
            } else if (q->claimed < q->published) {
                run_claimed(q, hold, &buffer);
            } else if (q->stopping) {
                break;
            } else {
                ++q->idle;
                q->work_ready.wait(hold);
                --q->idle;
            }
        }
    }
    std::free(buffer.data);
}

// Caller only: workers up to count in all. Fewer than asked still work; none at all means the
// caller reads.
void add_workers(CrcQueue* q, int count) {
    for (count = std::min(count, CRC_MAX_WORKERS); q->worker_count < count; ++q->worker_count) {
        try {
            q->workers[q->worker_count] = std::thread(worker_main, q);
        } catch (const std::system_error&) {
            break;
        }
    }
}

// One per processor; on a device that reads best with many requests at once, enough to keep
// it busy while they wait for it.
void start_workers(CrcQueue* q) {
    q->workers_tried = true;
    int count = q->io->workers > 0 ? q->io->workers : plat_processor_count();
    if (count < 2)
        return;
    if (q->plan.prefetch && q->io->workers == 0)
        count = std::max(count, LEARN_IO_WORKERS);
    add_workers(q, count);
}

// lock held.
void publish(CrcQueue* q) {
    check_counts(q);
    if (q->published == q->tail)
        return;
    q->published = q->tail;
    if (q->idle > 0)
        q->work_ready.notify_all();
}

// Caller only: the caller's watch, when it has one.
void note_progress(CrcQueue* q) {
    if (q->watch.look != nullptr)
        q->watch.look(q->watch.context, q);
}

// How often a caller waiting on the workers of a trial looks at the clock.
constexpr auto TRIAL_LOOK = std::chrono::milliseconds(2);

// How often a caller waiting on the workers looks up to draw the progress line.
constexpr auto PROGRESS_LOOK = std::chrono::milliseconds(100);

// lock held on entry and on return.
void wait_for(CrcQueue* q, std::unique_lock<std::mutex>& hold, CallerWait wait) {
    VELMORA_CHECK(hold.owns_lock() && q->caller_wait == CallerWait::None);
    q->caller_wait = wait;
    q->awaited = q->head;
    // Every file before head is resolved, so the count reaches the target once that many of
    // the files from head on are.
    q->wake_at = std::min(q->head + (q->trial ? 1 : WAKE_BATCH), q->published);
    const auto may_go = [q, wait] { return caller_may_go(q, wait); };
    if (q->trial && wait == CallerWait::Batch) {
        // A trial is judged after every file, and while none comes; a wait for the workers
        // to let go of every file must not end before they have.
        q->files_done.wait_for(hold, TRIAL_LOOK, may_go);
    } else if (q->watch.look == nullptr) {
        q->files_done.wait(hold, may_go);
    } else {
        while (!q->files_done.wait_for(hold, PROGRESS_LOOK, may_go)) {
            hold.unlock();
            note_progress(q);
            hold.lock();
        }
    }
    q->caller_wait = CallerWait::None;
    check_counts(q);
}

// Reads every piece of the opened file in order on the calling thread, then releases it.
CrcResult read_pieces_here(CrcQueue* q, CrcSlot* slot) {
    OpenedFile* file = &slot->file;
    slot->size_seen.store(file->size, std::memory_order_relaxed);
    std::uint32_t reg = 0xFFFFFFFFu;
    bool whole = true;
    for (std::uint64_t i = 0; whole && i < file_piece_count(file); ++i) {
        whole = file_checksum_next_piece(file, i, &reg);
        slot->bytes_done.fetch_add(file_piece_length(file, i), std::memory_order_relaxed);
        note_progress(q);
    }
    return file_finish(file, whole, reg);
}

// The rest of a file on the calling thread, from the device as needed, one piece after the
// other: Done, or Retry when the open was refused.
FileStep read_in_turn(CrcQueue* q, CrcSlot* slot) {
    const FileStep step = step_of(q, slot, false, &q->buffer);
    if (step != FileStep::Pieces)
        return step;
    slot->result = read_pieces_here(q, slot);
    return FileStep::Done;
}

// lock held on entry and on return. The caller reads the file at head itself, since no
// worker runs; a large file may be worth starting them for.
void run_own(CrcQueue* q, std::unique_lock<std::mutex>& hold) {
    VELMORA_CHECK(hold.owns_lock() && q->worker_count == 0);
    CrcSlot& slot = slot_of(q, q->head);
    q->claimed = q->published = q->head + 1;
    hold.unlock();
    FileStep step = step_of(q, &slot, false, &q->buffer);
    if (step == FileStep::Pieces)
        slot.size_seen.store(slot.file.size, std::memory_order_relaxed);
    if (step == FileStep::Pieces && !q->workers_tried &&
        (q->plan.spread == CrcSpread::Ahead ||
         (q->plan.spread == CrcSpread::CachedAhead && q->io->cached(q->io->context, &slot.file))))
        start_workers(q);
    if (step == FileStep::Pieces && q->worker_count == 0) {
        slot.result = read_pieces_here(q, &slot);
        step = FileStep::Done;
    }
    // Alone, a refused open is the answer.
    if (step != FileStep::Pieces)
        step = FileStep::Done;
    ++q->own_files;
    q->own_bytes += slot.result.bytes;
    hold.lock();
    record(q, q->head, step);
}

// The files left open for the caller, once no worker runs; every other slot holds none.
void release_pending(CrcQueue* q) {
    for (CrcSlot& slot : q->slots) {
        if (slot.file.handle != 0)
            q->io->release(q->io->context, &slot.file);
    }
}

// lock held on entry and on return. The file at head was refused to a worker while other
// files were open: it is tried again once the workers let go of everything.
void retry_alone(CrcQueue* q, std::unique_lock<std::mutex>& hold) {
    VELMORA_CHECK(hold.owns_lock());
    wait_for(q, hold, CallerWait::Idle);
    // Files left open for the caller are opened again in their turn; no worker holds one now
    // (a file of pieces still being read would be closed under its readers).
    VELMORA_CHECK(caller_may_go(q, CallerWait::Idle));
    release_pending(q);
    CrcSlot& slot = slot_of(q, q->head);
    hold.unlock();
    read_in_turn(q, &slot); // alone, a refused open is the answer
    hold.lock();
    slot.state = SlotState::Done;
}

// lock held. A trial, or the next one, from now.
void start_trial(CrcQueue* q) {
    q->trial = true;
    q->trial_start_ns = now_ns(q);
    q->trial_bytes.store(0, std::memory_order_relaxed);
    q->trial_files.store(0, std::memory_order_relaxed);
}

// lock held. Learning the device: after the files read from it in turn, the trial; once a
// trial wins, reading ahead, for this queue and every later one on the device, and after a lost
// one, files in turn again before the next. True when the trial starts.
bool learn_after_turn(CrcQueue* q, std::uint64_t bytes, std::int64_t ns) {
    if (!q->plan.learn || q->trial)
        return false;
    // The first read pays the seek to where the files begin, whichever way they are read: timed,
    // it would make a disk that seeks look slow in turn and lose it the trial.
    if (!q->first_turn_skipped) {
        q->first_turn_skipped = true;
        return false;
    }
    q->learn.turn_bytes += bytes;
    q->learn.turn_ns += static_cast<std::uint64_t>(ns > 0 ? ns : 1);
    if (++q->learn.turn_files < crc_turn_before_trial(q->plan.trials_lost))
        return false;
    start_trial(q);
    // The files already left for the caller go back to the workers, the trial's first files.
    for (std::uint64_t seq = q->head + 1; seq < q->claimed; ++seq) {
        CrcSlot& slot = slot_of(q, seq);
        if (slot.state == SlotState::ForCaller) {
            slot.state = SlotState::Pending;
            --q->resolved; // resolved again when read
            q->returned[q->returned_count++] = seq;
        }
    }
    q->work_ready.notify_all();
    return true;
}

void judge_trial(CrcQueue* q) {
    q->learn.trial_ns = static_cast<std::uint64_t>(now_ns(q) - q->trial_start_ns);
    q->learn.trial_bytes = q->trial_bytes.load(std::memory_order_relaxed);
    q->learn.trial_files = q->trial_files.load(std::memory_order_relaxed);
    const TrialVerdict verdict = crc_trial_verdict(&q->learn);
    if (verdict == TrialVerdict::Undecided)
        return;
    // Faster than in turn, if not clearly: no dearer than reading in turn to try again, against
    // the same rate in turn.
    if (verdict == TrialVerdict::Unclear && ++q->trials_unclear < LEARN_TRIALS) {
        start_trial(q);
        return;
    }
    const bool parallel = verdict == TrialVerdict::Parallel;
    q->trial = false;
    crc_device_learned(q->plan.device, parallel);
    if (parallel) {
        q->plan.learn = false;
        q->plan.prefetch = true;
        q->plan.spread = CrcSpread::Ahead;
        return;
    }
    // The files handed back when the trial began and not yet taken are the caller's again:
    // read out of turn by the workers, each would cost a seek.
    for (int i = 0; i < q->returned_count; ++i) {
        slot_of(q, q->returned[i]).state = SlotState::ForCaller;
        ++q->resolved;
    }
    q->returned_count = 0;
    // Files in turn again, then the next trial.
    ++q->plan.trials_lost;
    q->trials_unclear = 0;
    q->learn = LearnTimes{};
}

// Whether starting the workers now pays, by what the files pending are likely to cost.
bool worth_sharing(const CrcQueue* q) {
    if (q->plan.spread == CrcSpread::InTurn || q->workers_tried)
        return false;
    return q->io->workers > 0 || crc_worth_sharing(q->tail - q->head, q->own_files, q->own_bytes);
}

// The caller's: see crc_queue_submit.
void submit(CrcQueue* queue, const char* path, const char* label, std::uint64_t tag, NameCode code,
            PathSeen seen, unsigned char kind, bool unread) {
    // Not yet published, the slot is the caller's alone: publishing under the lock hands it
    // over whole.
    CrcSlot& slot = slot_of(queue, queue->tail);
    slot.unread = !str_copy(slot.path, sizeof slot.path, path) || unread;
    str_copy(slot.label, sizeof slot.label, label);
    slot.code = code;
    slot.seen = seen;
    slot.tag = tag;
    slot.kind = kind;
    slot.file = OpenedFile{};
    slot.state = SlotState::Pending;
    slot.size_seen.store(0, std::memory_order_relaxed);
    slot.bytes_done.store(0, std::memory_order_relaxed);
    ++queue->tail;
    // Files go to the workers a batch at a time, or all when the caller must wait: a worker
    // woken for every single file would cost more than the file. Only the caller writes
    // published, so it reads it without the lock.
    if (queue->tail - queue->published >= WAKE_BATCH) {
        const std::lock_guard<std::mutex> hold(queue->lock);
        publish(queue);
    }
}

} // namespace

void crc_queue_begin(CrcQueue* queue, CrcSpread spread) {
    crc_queue_begin(queue, CrcPlan{spread, false, false, 0});
}

void crc_queue_begin(CrcQueue* queue, CrcPlan plan) {
    queue->watch = CrcWatch{nullptr, nullptr};
    queue->io = &system_io;
    queue->plan = plan;
    queue->learn = LearnTimes{};
    queue->first_turn_skipped = false;
    queue->trials_unclear = 0;
    queue->trial = false;
    queue->trial_start_ns = 0;
    queue->trial_bytes.store(0, std::memory_order_relaxed);
    queue->trial_files.store(0, std::memory_order_relaxed);
    queue->head = queue->tail = queue->done_until = 0;
    queue->workers_tried = false;
    queue->own_files = queue->own_bytes = 0;
    queue->worker_count = 0;
    queue->buffer = ReadBuffer{nullptr, 0};
    queue->published = queue->claimed = queue->resolved = 0;
    queue->running = queue->idle = 0;
    queue->stopping = false;
    queue->caller_wait = CallerWait::None;
    queue->awaited = queue->wake_at = 0;
    queue->split_count = 0;
    queue->returned_count = 0;
    std::fill(std::begin(queue->splits), std::end(queue->splits), 0);
    std::fill(std::begin(queue->returned), std::end(queue->returned), 0);
    // Whatever the slots held before (a queue reused, or not zero-initialised): nothing is
    // open, so that crc_queue_end closes only what this queue opened.
    for (CrcSlot& slot : queue->slots) {
        slot.path[0] = slot.label[0] = '\0';
        slot.code = NameCode::Native;
        slot.seen = PathSeen::Unknown;
        slot.tag = 0;
        slot.kind = 0;
        slot.unread = true;
        slot.state = SlotState::Done;
        slot.result = CrcResult{0, false};
        slot.file = OpenedFile{};
        slot.next_piece = slot.pieces_left = 0;
        slot.joined = 0;
        slot.failed = false;
        slot.size_seen.store(0, std::memory_order_relaxed);
        slot.bytes_done.store(0, std::memory_order_relaxed);
    }
}

void crc_queue_watch(CrcQueue* queue, CrcWatch watch) {
    queue->watch = watch;
}

void crc_queue_io(CrcQueue* queue, const CrcIo* io) {
    queue->io = io;
}

const CrcIo* crc_io_system() {
    return &system_io;
}

std::uint64_t crc_queue_submitted(const CrcQueue* queue) {
    return queue->tail;
}

bool crc_queue_progress(const CrcQueue* queue, CrcProgress* progress) {
    if (queue->head == queue->tail)
        return false;
    std::uint64_t seq = queue->head;
    for (; seq + 1 < queue->tail; ++seq) {
        const CrcSlot& slot = queue->slots[seq % WINDOW];
        const std::uint64_t size = slot.size_seen.load(std::memory_order_relaxed);
        if (size == 0 || slot.bytes_done.load(std::memory_order_relaxed) < size)
            break;
    }
    const CrcSlot& slot = queue->slots[seq % WINDOW];
    *progress =
        CrcProgress{seq, slot.label, slot.code, slot.bytes_done.load(std::memory_order_relaxed),
                    slot.size_seen.load(std::memory_order_relaxed)};
    return true;
}

bool crc_queue_has_room(const CrcQueue* queue) {
    return queue->tail - queue->head < WINDOW;
}

void crc_queue_submit(CrcQueue* queue, const char* path, const char* label, std::uint64_t tag,
                      NameCode code, unsigned char kind, PathSeen seen) {
    submit(queue, path, label, tag, code, seen, kind, false);
}

void crc_queue_submit_unread(CrcQueue* queue, const char* label, std::uint64_t tag,
                             unsigned char kind) {
    submit(queue, "", label, tag, NameCode::Native, PathSeen::Unknown, kind, true);
}

bool crc_queue_ready(const CrcQueue* queue) {
    return queue->head < queue->done_until;
}

bool crc_queue_take(CrcQueue* queue, CrcTaken* taken) {
    if (queue->head == queue->tail)
        return false;
    note_progress(queue);
    CrcSlot& slot = slot_of(queue, queue->head);
    if (queue->head >= queue->done_until) {
        std::unique_lock<std::mutex> hold(queue->lock);
        // A trial is judged whenever the caller comes here, even for a file its workers
        // have read already: else a trial faster than the caller would never end.
        for (;;) {
            if (queue->trial)
                judge_trial(queue);
            if (slot.state == SlotState::Done)
                break;
            if (slot.state == SlotState::ForCaller) {
                hold.unlock();
                const std::int64_t start = now_ns(queue);
                const FileStep step = read_in_turn(queue, &slot);
                const std::int64_t took = now_ns(queue) - start;
                hold.lock();
                if (learn_after_turn(queue, slot.result.bytes, took) && queue->io->workers == 0) {
                    // The trial reads with as many requests at once as a device that
                    // learned to read best so gets.
                    hold.unlock();
                    add_workers(queue, std::max(queue->worker_count, LEARN_IO_WORKERS));
                    hold.lock();
                }
                slot.state = step == FileStep::Retry ? SlotState::Retry : SlotState::Done;
            } else if (slot.state == SlotState::Retry) {
                retry_alone(queue, hold);
            } else if (queue->worker_count > 0) {
                publish(queue);
                wait_for(queue, hold, CallerWait::Batch);
            } else if (worth_sharing(queue)) {
                hold.unlock();
                start_workers(queue);
                hold.lock();
            } else {
                run_own(queue, hold);
            }
        }
        VELMORA_CHECK(hold.owns_lock()); // every helper above returns with it
        // The files done from here on are the caller's: the next takes need no lock.
        queue->done_until = queue->head + 1;
        while (queue->done_until < queue->tail &&
               slot_of(queue, queue->done_until).state == SlotState::Done)
            ++queue->done_until;
        check_counts(queue);
    }
    taken->result = slot.result;
    taken->tag = slot.tag;
    taken->kind = slot.kind;
    str_copy(taken->label, sizeof taken->label, slot.label);
    ++queue->head;
    return true;
}

void crc_queue_end(CrcQueue* queue) {
    {
        const std::lock_guard<std::mutex> hold(queue->lock);
        // Files no worker claimed are dropped (a run that ends early, on an error, must not
        // wait for a window of large files); pieces begun are read to the end, so that the
        // thread of the last one releases their file.
        queue->published = queue->claimed;
        queue->stopping = true;
        queue->work_ready.notify_all();
    }
    for (int i = 0; i < queue->worker_count; ++i)
        queue->workers[i].join();
    release_pending(queue);
    std::free(queue->buffer.data);
}

void crc_workers_force(int count) {
    system_io.workers = count;
}
