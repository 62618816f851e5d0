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
        // Closes between opens keep two opens of one file from merging into one event.
        for (const std::string& dir : dirs)
            dirs_[inotify_add_watch(fd_, dir.c_str(), IN_OPEN | IN_CLOSE_NOWRITE)] = dir + "/";
    }
    ~OpenCounter() { close(fd_); }
    OpenCounter(const OpenCounter&) = delete;
    OpenCounter& operator=(const OpenCounter&) = delete;

    // Opens of each file ("directory/name") since the last call; directories not counted.
    std::map<std::string, int> take() {
        std::map<std::string, int> counts;
        alignas(inotify_event) char buf[65536];
        for (ssize_t n; (n = read(fd_, buf, sizeof buf)) > 0;) {
            for (char* p = buf; p < buf + n; p += sizeof(inotify_event)) {
                const auto* e = reinterpret_cast<const inotify_event*>(p);
                if ((e->mask & IN_Q_OVERFLOW) != 0)
                    throw std::runtime_error("inotify queue overflow");
                if ((e->mask & (IN_OPEN | IN_ISDIR)) == IN_OPEN && e->len > 0)
                    ++counts[dirs_[e->wd] + e->name];
                p += e->len;
            }
        }
        return counts;
    }

  private:
    int fd_;
    std::map<int, std::string> dirs_;
};
