// The POSIX view guard catches a fault only inside the view being read, on its own thread.
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <thread>

#include "platform/platform.h"

namespace {

// Two pages of a file cut to nothing after it was mapped: a touch of either faults.
const unsigned char* pages;
const unsigned char* touched;

std::uint32_t touch_here(std::uint32_t state, const unsigned char*, std::size_t) {
    return state + *static_cast<const volatile unsigned char*>(touched);
}

std::uint32_t touch_elsewhere(std::uint32_t state, const unsigned char* view, std::size_t len) {
    std::thread([&] { touch_here(state, view, len); }).join();
    return state;
}

std::uint32_t send_signal(std::uint32_t state, const unsigned char*, std::size_t) {
    return state + static_cast<std::uint32_t>(std::raise(SIGBUS));
}

TEST(ViewGuard, OnlyAFaultInTheViewOnItsOwnThreadEndsTheRead) {
    const long page = sysconf(_SC_PAGESIZE);
    char path[] = "/tmp/velmora-guard-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_EQ(ftruncate(fd, 2 * page), 0);
    pages =
        static_cast<const unsigned char*>(mmap(nullptr, 2 * page, PROT_READ, MAP_PRIVATE, fd, 0));
    ASSERT_EQ(ftruncate(fd, 0) + close(fd) + unlink(path), 0);
    std::uint32_t state = 0;
    touched = pages;
    EXPECT_FALSE(plat_read_view(touch_here, &state, pages, page));
    const struct {
        PlatViewReader reader;
        const unsigned char* touched;
    } ending[] = {{touch_here, pages + page}, {touch_elsewhere, pages}, {send_signal, pages}};
    for (const auto& c : ending) {
        touched = c.touched;
        EXPECT_EXIT(plat_read_view(c.reader, &state, pages, page), testing::KilledBySignal(SIGBUS),
                    "");
    }
    // After the read, nothing of the view is guarded.
    const PlatViewReader none = [](std::uint32_t s, const unsigned char*, std::size_t) {
        return s;
    };
    touched = pages;
    EXPECT_EXIT((plat_read_view(none, &state, pages, page), touch_here(0, pages, 0)),
                testing::KilledBySignal(SIGBUS), "");
}

} // namespace
