#pragma once

// A local socket served by user nobody (65534): the squatter of a socket
// path that tests of the peer checks need. Only root can start one.

#include <grp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <string_view>

namespace kst::test {

class ForeignSocketServer {
 public:
  // Forks a child that, as nobody, binds `path` (mode 0777), accepts one
  // connection, reads what comes within a few seconds and answers `reply`.
  // The folder of `path` must let nobody in. Returns once it listens.
  ForeignSocketServer(const std::string& path, std::string_view reply) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) return;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    int ready[2];
    if (::pipe(ready) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      // After fork in a process with threads: system calls only.
      if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) {
        ::_exit(99);
      }
      const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
      if (::bind(listener, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
          ::chmod(path.c_str(), 0777) != 0 || ::listen(listener, 4) != 0) {
        ::_exit(98);
      }
      (void)!::write(ready[1], "r", 1);
      pollfd pfd{listener, POLLIN, 0};
      if (::poll(&pfd, 1, 20000) <= 0) ::_exit(97);
      const int fd = ::accept(listener, nullptr, nullptr);
      pfd = {fd, POLLIN, 0};
      char received[64];
      const bool told = ::poll(&pfd, 1, 5000) > 0 && ::recv(fd, received, sizeof received, 0) > 0;
      (void)!::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
      ::_exit(told ? 1 : 0);
    }
    ::close(ready[1]);
    char byte = 0;
    listening_ = pid_ > 0 && ::read(ready[0], &byte, 1) == 1;
    ::close(ready[0]);
  }
  ~ForeignSocketServer() { Wait(); }
  ForeignSocketServer(const ForeignSocketServer&) = delete;
  ForeignSocketServer& operator=(const ForeignSocketServer&) = delete;

  bool Listening() const { return listening_; }

  // Waits for the child: 0 when it received nothing, 1 when the client told
  // it something, other values when it could not serve.
  int Wait() {
    if (pid_ <= 0) return -1;
    int status = 0;
    const bool ended = ::waitpid(pid_, &status, 0) == pid_;
    pid_ = -1;
    return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  bool listening_ = false;
};

}  // namespace kst::test
