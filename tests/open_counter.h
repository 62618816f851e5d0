// Opens of the files in a set of directories, as the system reports them (inotify): how a
// test sees that a file was read twice, without any hook in the program.
#pragma once

#include <sys/inotify.h>
#include <unistd.h>

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

struct OpenCounter {
    int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    std::map<int, std::string> dirs;
    // Watches each directory itself, not those below it. Closes between opens keep two opens
    // of one file from merging into one event.
    explicit OpenCounter(const std::vector<std::string>& watched) {
        for (const std::string& dir : watched)
            dirs[inotify_add_watch(fd, dir.c_str(), IN_OPEN | IN_CLOSE_NOWRITE)] = dir + "/";
    }
    ~OpenCounter() { close(fd); }

    // Opens of each file ("directory/name") since the last call; directories not counted.
    std::map<std::string, int> take() {
        std::map<std::string, int> counts;
        alignas(inotify_event) char buf[65536];
        for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) {
            for (char* p = buf; p < buf + n; p += sizeof(inotify_event)) {
                const auto* e = reinterpret_cast<const inotify_event*>(p);
                if ((e->mask & IN_Q_OVERFLOW) != 0)
                    throw std::runtime_error("inotify queue overflow");
                if ((e->mask & (IN_OPEN | IN_ISDIR)) == IN_OPEN && e->len > 0)
                    ++counts[dirs[e->wd] + e->name];
                p += e->len;
            }
        }
        return counts;
    }
};
