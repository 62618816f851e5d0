// When the progress line is drawn: only where standard error is a console, once a run has
// lasted a second, and then at most ten times a second. All of it belongs to the main thread.
#pragma once

#include <cstdint>

// Starts the run's clock and learns whether standard error is a console; after the report's
// redirection, before any file is read.
void progress_start();

// Whether a line may ever be drawn in this run: the callers gather nothing otherwise.
bool progress_wanted();

// The files of the directory or list being read; final false while more may follow.
void progress_count(std::uint64_t files, bool final);

// The file being read (files_done before it; its name in code), its bytes done and its size
// (0: not known yet); drawn when due.
enum class NameCode : unsigned char;
void progress_tick(std::uint64_t files_done, const char* name, NameCode code, std::uint64_t done,
                   std::uint64_t size);

// What a checksum queue is given to watch (crc_queue_watch): each look draws its file being read
// when due. None where no line may be drawn, so that the queue waits without looking up.
struct CrcWatch;
CrcWatch progress_watch();

// Erases a line left shown; at the end of the run.
void progress_end();
