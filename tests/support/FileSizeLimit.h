#pragma once

#include <sys/resource.h>

#include <csignal>

namespace kl516::test {

// Lowers the process's file size limit for the guard's lifetime, so that writes past `bytes`
// fail (with SIGXFSZ ignored, as EFBIG) the way a full disk makes them fail. The previous limit
// and signal handler come back when the guard goes, also when an assertion ends the test early.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ok_ = getrlimit(RLIMIT_FSIZE, &saved_) == 0;
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = saved_;
        limited.rlim_cur = bytes;
        ok_ = ok_ && setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    // Whether the limit is in force.
    bool ok() const { return ok_; }

private:
    rlimit saved_{};
    void (*oldHandler_)(int) = SIG_DFL;
    bool ok_ = false;
};

}  // namespace kl516::test
