#pragma once
// While it lives, the file system refuses every byte of any file past `bytes`, so a write
// fails midway as it would on a full disk.
#include <csignal>
#include <sys/resource.h>

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &old_);
        rlimit small = old_;
        small.rlim_cur = bytes;
        ok_ = setrlimit(RLIMIT_FSIZE, &small) == 0;
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old_); }
    bool ok() const { return ok_; }

private:
    rlimit old_{};
    bool ok_ = false;
};
