#pragma once

// Permission cases mean nothing when the tests run as root (as CI does):
// root reads and writes every file whatever its mode. RunUnprivileged runs
// a case in a child process that, when started as root, first becomes the
// unprivileged user and group 65534 (nobody), so the case checks the same
// thing for every user.
//
// The body runs in the child: it must not use the test framework's
// assertions (their failures would stay in the child). It reports through
// its return value: 0 when every check held, otherwise a number of its own
// that names the check that failed.

#include <grp.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <functional>

namespace kst::test {

inline constexpr uid_t kUnprivilegedId = 65534;
// Exit statuses of the child that are not the body's.
inline constexpr int kCouldNotDropPrivileges = 125;
inline constexpr int kChildDidNotFinish = 126;

// The body's result, or one of the two statuses above.
inline int RunUnprivileged(const std::function<int()>& body) {
  std::fflush(nullptr);  // nothing buffered is written twice
  const pid_t pid = ::fork();
  if (pid < 0) return kChildDidNotFinish;
  if (pid == 0) {
    if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(kUnprivilegedId) != 0 ||
                             ::setuid(kUnprivilegedId) != 0 || ::geteuid() == 0)) {
      ::syscall(SYS_exit_group, kCouldNotDropPrivileges);
      ::_exit(kCouldNotDropPrivileges);
    }
    int result = kChildDidNotFinish;
    try {
      result = body();
    } catch (...) {
    }
    std::fflush(nullptr);
    // No exit handlers: they belong to the parent's test run. Straight to
    // the kernel: a sanitizer's exit checks would judge the parent's
    // threads, which the child has only as copies of their bookkeeping.
    ::syscall(SYS_exit_group, result);
    ::_exit(result);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return kChildDidNotFinish;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : kChildDidNotFinish;
}

}  // namespace kst::test
