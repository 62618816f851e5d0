// Checksums of listed files, computed ahead of their turn on worker threads and taken in
// list order, so that a run writes the same SFV files and report as one thread would.
#pragma once

#include <cstdint>

// Files in flight at most. A caller keeps what it prints for each in a ring of this size.
inline constexpr int CRC_QUEUE_WINDOW = 256;

// Starts the queue for the files of dir (the build directory, or the SFV file's directory,
// "" being the current one). Worker threads compute the checksums unless this process may
// use one processor only, the workers are limited to one, or dir lies on a device that
// would seek between files at once; take then computes each in turn. One queue at a time.
void crc_queue_begin(const char* dir);

// Whether another path can be submitted now (fewer than CRC_QUEUE_WINDOW are pending).
bool crc_queue_has_room();

// Submits the path of the next file; it is copied. A path too long for the program's working
// path, like one that names no file, gives the checksum 0.
void crc_queue_submit(const char* path);

// The checksum of the oldest path submitted and not yet taken: the file's CRC-32, or 0 when
// it cannot be opened or read whole. Only while a path is pending.
std::uint32_t crc_queue_take();

// Ends the queue, waiting for what is still pending (whose checksums are dropped).
void crc_queue_end();

// Makes every queue of this process run with count workers (1: each checksum on the
// calling thread), whatever the processors and devices. A hook for test and benchmark builds
// of the program; it may run before main, from a static initialiser.
void crc_workers_force(int count);

// Stops the worker threads; runs at exit once they were started.
void crc_workers_stop();
