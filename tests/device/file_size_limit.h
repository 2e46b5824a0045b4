#pragma once
// A file size limit standing in for a full disk: while it lives, writes past
// `bytes` fail (EFBIG) instead of raising SIGXFSZ.

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>

namespace kst::uploadtest {

class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) : oldHandler_(std::signal(SIGXFSZ, SIG_IGN)) {
    EXPECT_EQ(getrlimit(RLIMIT_FSIZE, &saved_), 0);
    rlimit small = saved_;
    small.rlim_cur = bytes;
    EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, oldHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  void (*oldHandler_)(int);
};

}  // namespace kst::uploadtest
