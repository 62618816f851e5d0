// Checksums of listed files, computed ahead of their turn on worker threads and taken in
// list order, so that a run writes the same SFV files and report as one thread would.
//
// A queue is a record its caller owns, from crc_queue_begin to crc_queue_end; its workers
// start and stop within that span, so nothing of one queue reaches the next. Who owns what:
// - head, tail, the workers and buffer belong to the calling thread; so do the slots of files
//   not yet published (from published to tail), and those taken back (before head).
// - Everything else marked "lock" is read and written under lock only.
// - A file's slot belongs to the thread that claimed it (under lock) from the claim until
//   that thread records the outcome (under lock); then to the caller. The pieces of a large
//   file read only the slot's opened file, which nobody changes until its last piece is in.
// - The progress counters of a slot are written by whichever thread reads the file and read
//   by the caller, relaxed: they are only shown, and order nothing.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "checksum/crc_spread.h"
#include "checksum/file_checksum.h"
#include "common/constants.h"

// Files in flight at most.
inline constexpr int CRC_QUEUE_WINDOW = 256;
inline constexpr int CRC_MAX_WORKERS = 16;
// Room for the name a caller keeps beside each file: a name found on disk or read from an
// SFV line, at most 260 characters.
inline constexpr std::size_t CRC_LABEL_SIZE = MAX_PATH + 1;

enum class SlotState : unsigned char {
    Pending,   // submitted: not yet claimed, being read, or read in pieces
    Done,      // result holds the checksum
    ForCaller, // the rest must come from the device: file holds what is open
    Retry,     // not opened for a reason not the file's own; the caller tries again alone
};

struct CrcSlot {
    char path[WORK_PATH_SIZE];
    char label[CRC_LABEL_SIZE];
    NameCode code; // of path and label
    PathSeen seen; // of path
    std::uint64_t tag;
    unsigned char kind;
    bool unread;     // nothing to read: the result is "not read"
    SlotState state; // lock
    CrcResult result;
    OpenedFile file;
    // A file read in pieces; lock.
    std::uint64_t next_piece;
    std::uint64_t pieces_left;
    std::uint32_t joined; // XOR of the finished pieces' registers, onto the preset's share
    bool failed;
    // Progress: the size of a file read in pieces once opened, and its bytes read so far.
    std::atomic<std::uint64_t> size_seen;
    std::atomic<std::uint64_t> bytes_done;
};

enum class CallerWait : unsigned char {
    None,
    Batch, // until the awaited file and the files up to wake_at are resolved
    Idle,  // until no worker holds or has anything left to do
};

struct CrcQueue;

// How a queue reaches its files and the clock: the program's own, crc_io_system, reads them through
// file_checksum.h; a test gives a queue one of its own to drive each file's outcome. Called from
// any thread that reads, at once from several: as thread-safe as what they read.
struct CrcIo {
    void* context;
    // As file_checksum_step; never gives Pieces but for a file really open.
    FileStep (*step)(void* context, const char* path, NameCode code, PathSeen seen,
                     bool cached_only, ReadBuffer* buffer, OpenedFile* file, CrcResult* result);
    void (*release)(void* context, OpenedFile* file);        // as file_release
    bool (*cached)(void* context, const OpenedFile* file);   // as plat_data_cached
    void (*prefetch)(void* context, const OpenedFile* file); // as plat_prefetch
    std::int64_t (*now_ns)(void* context);                   // a steady clock
    // Workers for work worth sharing, whatever the processors (1: none); 0: one per processor.
    int workers;
};
const CrcIo* crc_io_system();

// Looked at on the caller's thread while the queue keeps it long: as a file is taken, every
// tenth of a second of a wait on the workers, after each piece the caller reads itself. context is
// the caller's; the look learns what to show from crc_queue_progress.
struct CrcWatch {
    void (*look)(void* context, const CrcQueue* queue);
    void* context;
};

struct CrcQueue {
    CrcSlot slots[CRC_QUEUE_WINDOW];
    CrcWatch watch; // the caller's; none: it waits without looking up
    const CrcIo* io;
    // How its files are read. Written by the caller alone, under lock once workers run (the
    // trial of a device being learned changes it); workers read it under lock.
    CrcPlan plan;
    // Learning the device: the caller's own reads from it, then the trial, in which workers
    // read what is not in memory themselves and count it (relaxed: the caller only compares
    // it with the clock). The caller clears the counts as a trial starts again; a file begun
    // before may count in the next, which can only flatter a trial already faster than in turn.
    LearnTimes learn;            // the caller's
    bool first_turn_skipped;     // the caller's
    int trials_unclear;          // the caller's
    bool trial;                  // lock
    std::int64_t trial_start_ns; // the caller's, on the steady clock
    std::atomic<std::uint64_t> trial_bytes;
    std::atomic<int> trial_files;
    std::uint64_t head;       // next to take
    std::uint64_t tail;       // next to submit
    std::uint64_t done_until; // files from head up to here are done
    bool workers_tried;
    std::uint64_t own_files; // read by the caller alone, before any worker started
    std::uint64_t own_bytes;
    int worker_count;
    std::thread workers[CRC_MAX_WORKERS];
    ReadBuffer buffer;

    std::mutex lock;
    std::condition_variable work_ready; // workers wait here
    std::condition_variable files_done; // the caller waits here
    // Workers claim files below this. lock, but its one writer, the caller, reads it freely.
    std::uint64_t published;
    std::uint64_t claimed;                  // lock: the next file to claim
    std::uint64_t resolved;                 // lock: files whose first outcome is recorded
    int running;                            // lock: files and pieces in workers' hands
    int idle;                               // lock: workers waiting for work
    bool stopping;                          // lock
    CallerWait caller_wait;                 // lock
    std::uint64_t awaited;                  // lock
    std::uint64_t wake_at;                  // lock
    std::uint64_t splits[CRC_QUEUE_WINDOW]; // lock: files with pieces to claim, oldest first
    int split_count;                        // lock
    // lock: files left for the caller that a trial hands back to the workers, oldest first.
    std::uint64_t returned[CRC_QUEUE_WINDOW];
    int returned_count;
};

// Starts an empty queue whose files are read as plan says (or as spread, nothing learned). Workers
// start only once there is enough work to share (the caller reads the first files alone); with one
// processor, never.
void crc_queue_begin(CrcQueue* queue, CrcPlan plan);
void crc_queue_begin(CrcQueue* queue, CrcSpread spread);

// Sets the watch of a queue just begun (the default is none).
void crc_queue_watch(CrcQueue* queue, CrcWatch watch);

// Sets how a queue just begun reaches its files (the default is crc_io_system()).
void crc_queue_io(CrcQueue* queue, const CrcIo* io);

// Files submitted so far.
std::uint64_t crc_queue_submitted(const CrcQueue* queue);

// The file being read for the caller, as the progress line shows it: files taken before it,
// its label in code, its bytes read so far and its size (0: not known yet). While the caller
// waits for a batch, the files whose pieces are all read are passed over. False when no file
// is pending.
struct CrcProgress {
    std::uint64_t files_done;
    const char* label; // the slot's, until the file is taken
    NameCode code;
    std::uint64_t done;
    std::uint64_t size;
};
bool crc_queue_progress(const CrcQueue* queue, CrcProgress* progress);

// Whether another file can be submitted now (fewer than CRC_QUEUE_WINDOW are pending).
bool crc_queue_has_room(const CrcQueue* queue);

// Submits the path of the next file, with a label, a tag and a kind of the caller's that come
// back with its checksum, path and label in code; all are copied. A path too long for the
// program's working path is not read, like one that names no file. seen: what the caller knows
// of path (see plat_open_exclusive).
void crc_queue_submit(CrcQueue* queue, const char* path, const char* label, std::uint64_t tag,
                      NameCode code = NameCode::Native, unsigned char kind = 0,
                      PathSeen seen = PathSeen::Unknown);

// Submits an item that only comes back in its turn, with its label, tag and kind: nothing is
// opened, and its result is "not read" with no fault.
void crc_queue_submit_unread(CrcQueue* queue, const char* label, std::uint64_t tag,
                             unsigned char kind);

struct CrcTaken {
    CrcResult result;
    std::uint64_t tag;
    unsigned char kind;
    char label[CRC_LABEL_SIZE];
};

// Whether the oldest file not yet taken is known done, so that taking it cannot wait.
bool crc_queue_ready(const CrcQueue* queue);

// Takes the oldest file submitted and not yet taken, once its checksum is known. False when
// none is pending.
bool crc_queue_take(CrcQueue* queue, CrcTaken* taken);

// Ends the queue: files not yet taken are dropped, the workers stop, and all is released.
void crc_queue_end(CrcQueue* queue);

// A hook for test and benchmark builds of the program, run before main from a static
// initialiser: every queue of crc_io_system() that may use workers starts count of them (1:
// none) as soon as it has a file, whatever the processors. (crc_plans_from, in crc_spread.h,
// is the other.)
void crc_workers_force(int count);
