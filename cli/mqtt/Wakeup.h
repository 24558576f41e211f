// Wakes a thread that waits in poll(): Notify from any thread makes Fd()
// readable until the waiting thread drains it. Never blocks (a full pipe
// is already readable). POSIX.
#pragma once

#include <fcntl.h>
#include <unistd.h>

namespace ksv::cli {

class TWakeup {
public:
    TWakeup()
    {
        if (::pipe2(fds_, O_CLOEXEC | O_NONBLOCK) != 0) fds_[0] = fds_[1] = -1;
    }
    ~TWakeup()
    {
        for (const int fd : fds_)
            if (fd >= 0) ::close(fd);
    }
    TWakeup(const TWakeup&) = delete;
    TWakeup& operator=(const TWakeup&) = delete;

    void Notify() const
    {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(fds_[1], &byte, 1);
    }
    void Drain() const
    {
        char bytes[64];
        while (::read(fds_[0], bytes, sizeof bytes) > 0) {
        }
    }
    int Fd() const { return fds_[0]; }

private:
    int fds_[2];
};

} // namespace ksv::cli
