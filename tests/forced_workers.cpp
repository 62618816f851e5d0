// Linked into the test and benchmark builds of the program that run with a fixed number of
// checksum workers, whatever the machine: the program itself has no option for it.
#include "checksum/crc_queue.h"

static const bool forced = (crc_workers_force(VELMORA_FORCED_WORKERS), true);
