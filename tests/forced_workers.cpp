// Linked into the test and benchmark builds of the program that run with a fixed number of
// checksum workers, whatever the machine, and take each directory's device from its name
// (".slow": reads in turn; ".cached": ahead only what is in memory). The program itself has
// no option for either.
#include "checksum/crc_queue.h"

static const bool forced =
    (crc_workers_force(VELMORA_FORCED_WORKERS), crc_spread_force_by_name(), true);
