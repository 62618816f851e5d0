// The POSIX view guard catches a fault only inside the view being read.
#include <gtest/gtest.h>

#include <csignal>
#include <thread>

#include "checksum/crc32_kernels.h"
#include "platform/platform.h"

// After a view was read, a fault anywhere else ends the process as it would without a guard,
// on the thread that read it or on one that never did.
TEST(ViewGuard, AFaultOutsideAnyViewStillEndsTheProcess) {
    const unsigned char byte = 7;
    std::uint32_t state = 0;
    EXPECT_EXIT((plat_read_view(crc32_bytewise, &state, &byte, 1), std::raise(SIGBUS)),
                testing::KilledBySignal(SIGBUS), "");
    EXPECT_EXIT((plat_read_view(crc32_bytewise, &state, &byte, 1),
                 std::thread([] { std::raise(SIGBUS); }).join()),
                testing::KilledBySignal(SIGBUS), "");
}
