// Opens of the files in a set of directories, as the system reports them (inotify): how a
// test sees that a file was read twice, without any hook in the program.
#pragma once

#include <sys/inotify.h>
#include <unistd.h>

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

class OpenCounter {
  public:
    // Watches each directory itself, not those below it.
    explicit OpenCounter(const std::vector<std::string>& dirs)
        : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        for (const std::string& dir : dirs) {
            // Closes between opens keep two opens of one file from merging into one event.
            const int wd = inotify_add_watch(fd_, dir.c_str(), IN_OPEN | IN_CLOSE_NOWRITE);
            if (wd < 0)
                throw std::runtime_error("inotify_add_watch " + dir);
            dirs_[wd] = dir;
        }
    }
    ~OpenCounter() { close(fd_); }
    OpenCounter(const OpenCounter&) = delete;
    OpenCounter& operator=(const OpenCounter&) = delete;

    // Opens of each file ("directory/name") so far; directories opened for listing not counted.
    std::map<std::string, int> counts() {
        alignas(inotify_event) char buf[65536];
        for (ssize_t n; (n = read(fd_, buf, sizeof buf)) > 0;) {
            for (char* p = buf; p < buf + n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(p);
                if ((e->mask & IN_Q_OVERFLOW) != 0)
                    throw std::runtime_error("inotify queue overflow");
                if ((e->mask & IN_OPEN) != 0 && (e->mask & IN_ISDIR) == 0 && e->len > 0)
                    ++counts_[dirs_[e->wd] + "/" + e->name];
                p += sizeof(inotify_event) + e->len;
            }
        }
        return counts_;
    }

  private:
    int fd_;
    std::map<int, std::string> dirs_;
    std::map<std::string, int> counts_;
};
