// How the files of one queue may be read, from what is known of the device they lie on, and the
// rule by which a device that says it seeks, or cannot say, is learned from what it does.
#pragma once

#include <cstdint>
#include <mutex>

#include "platform/platform.h"

enum class CrcSpread {
    InTurn,      // one at a time, in list order, on the calling thread: the device seeks
    CachedAhead, // the device seeks, but what is in memory is known: files whose data is in
                 // memory are read ahead on workers, the others in turn by the caller
    Ahead,       // every file ahead on workers
};

// The plan for one queue's files.
struct CrcPlan {
    CrcSpread spread;
    // CachedAhead on a device not learned yet: the files read in turn from it are timed, then
    // a few are tried ahead (see crc_trial_verdict); reading ahead is kept once it wins.
    bool learn;
    // Ahead on a device that proved to read faster with many requests at once: each run of
    // files a worker takes is asked of the device together before any is read.
    bool prefetch;
    std::uint64_t device;
    // Trials the device lost earlier in the run: where learn, the next waits the longer (see
    // crc_turn_before_trial).
    int trials_lost = 0;
};

// The plan for the files of dir ("" being the current directory): crc_plan_of its device.
CrcPlan crc_plan_for(const char* dir);

// The plan for files on device (none: not known), where what is in memory can be told from
// what is not (residency_known) or not. A device learned before takes what was learned.
struct PlatDevice;
CrcPlan crc_plan_of(const PlatDevice* device, bool residency_known);

// What the queue learned of device, for every later queue on it in this run: a win holds, a
// trial lost counts (the device is tried again later).
void crc_device_learned(std::uint64_t device, bool parallel);

// Files read in turn before the trial; files the trial reads ahead before it is judged; the
// trials a device is given before it is taken to seek; the workers of the trial and of a
// device that read best with many requests at once (most of their time is spent waiting for
// it). Measured on a virtual disk (bench/README.md), eight readers in flight read small cold
// files three times as fast as one, yet one trial in four or five there came out unclear.
inline constexpr int LEARN_TURN_FILES = 16;
inline constexpr int LEARN_TRIAL_FILES = 32;
inline constexpr int LEARN_TRIALS = 3;
inline constexpr int LEARN_IO_WORKERS = 8;

// A trial lasts a few milliseconds, and a device that stalls meanwhile (the virtual disk did,
// for several at a time) loses it though it reads best ahead. So a lost trial is not the last:
// the next comes after LEARN_AGAIN_FILES more files in turn, each later one after twice as
// many. A disk that seeks pays a trial for each doubling of the files it reads, a fast one that
// lost by chance reads at most that many in turn (there, 4096 small files took 0.3 s in turn).
inline constexpr int LEARN_AGAIN_FILES = 4096;

// The files to read in turn before the next trial, after trials_lost lost ones.
int crc_turn_before_trial(int trials_lost);

// Whether workers are worth starting for the files pending, each counted as the average size
// of the own_files the caller has read alone so far (own_bytes in all) and its open and close.
// (A file large enough to be read in pieces starts them at once, where it may be read ahead.)
bool crc_worth_sharing(std::uint64_t pending, std::uint64_t own_files, std::uint64_t own_bytes);

// How reads from the device went: bytes and nanoseconds in turn, and in the trial so far.
struct LearnTimes {
    std::uint64_t turn_bytes;
    std::uint64_t turn_ns;
    int turn_files;
    std::uint64_t trial_bytes;
    std::uint64_t trial_ns;
    int trial_files;
};

enum class TrialVerdict { Undecided, Parallel, Seeks, Unclear };

// Ahead wins once LEARN_TRIAL_FILES are read at 1.5 times the rate in turn or more; it
// loses as soon as the trial has taken as long as those files would have taken in turn
// without reaching that rate, so that a disk that seeks pays at most that time for the trial.
// Read faster than in turn but under 1.5 times, the trial is unclear: worth trying again, as
// it cost nothing over reading in turn.
TrialVerdict crc_trial_verdict(const LearnTimes* times);

// A hook for test and benchmark builds of the program, run before main from a static
// initialiser: crc_plan_for answers with plan_for(dir) instead.
void crc_plans_from(CrcPlan (*plan_for)(const char* dir));

// Whether a view not in memory is asked of the device whole before it is read, learned once
// per run (its large files nearly always lie on one device). Asking keeps many requests in
// flight, which a device slow to answer needs, but the system then fills the page cache a page
// at a time: where a device keeps up with its own read-ahead, that costs more than it gains
// (bench/README.md). After the first cold view, which pays the seek, VIEW_TRIAL are read as
// they come and VIEW_TRIAL asked whole, each timed; asking, with the range after each view, is
// kept when the views asked read VIEW_ASK_GAIN times as fast or faster.
inline constexpr int VIEW_TRIAL = 4;
inline constexpr double VIEW_ASK_GAIN = 1.2;

struct ViewTrial {
    std::mutex lock;             // orders every field below: views are read on any thread
    int begun = 0;               // cold views handed out while undecided (up to the trial's)
    std::uint64_t bytes[2] = {}; // of the views timed: read as they come [0], asked [1]
    std::uint64_t ns[2] = {};
    int timed[2] = {};
    bool decided = false;
    ViewAsk kept = ViewAsk::Not; // once decided
};

// How one cold view is read, and the part of the trial it is timed for (-1: none).
struct ViewTicket {
    ViewAsk ask;
    int part;
};

ViewTicket view_trial_begin(ViewTrial* trial);
// The ticket's view was read: bytes in ns.
void view_trial_end(ViewTrial* trial, ViewTicket ticket, std::uint64_t bytes, std::int64_t ns);

// The run's own trial.
ViewTrial* crc_view_trial();
