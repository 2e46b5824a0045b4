#include "device/sim/SimSocket.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/RuntimeFolder.h"

namespace kst::sim {
namespace {

constexpr std::size_t kMaxCommandBytes = 4096;
constexpr int kIoTimeoutSeconds = 5;
constexpr const char* kSocketName = "kestrune-sim.sock";
static_assert(std::char_traits<char>::length(kSocketName) <= kRuntimeEntryNameMax);

bool FillAddress(const std::string& path, sockaddr_un& addr, std::string* why) {
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof addr.sun_path) {
    if (why) *why = "socket path is empty or too long: " + path;
    return false;
  }
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  return true;
}

void SetTimeouts(int fd) {
  timeval tv{};
  tv.tv_sec = kIoTimeoutSeconds;
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

std::string ErrnoText(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

}  // namespace

std::string ControlSocketPath(std::string* why) {
  if (const char* own = std::getenv("KESTRUNE_SIM_SOCKET"); own && *own) {
    if (std::string_view(own) == "off") return {};
    return own;
  }
  const RuntimeFolder folder = ResolveRuntimeFolder();
  if (folder.path.empty()) {
    if (why) *why = "no private runtime folder: " + folder.note;
    return {};
  }
  return folder.path + "/" + kSocketName;
}

ControlServer::~ControlServer() { Stop(); }

bool ControlServer::Start(const std::string& path, Handler handler, std::string* why) {
  Stop();
  sockaddr_un addr{};
  if (!FillAddress(path, addr, why)) return false;

  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    if (why) *why = ErrnoText("socket");
    return false;
  }
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
    if (errno != EADDRINUSE) {
      if (why) *why = ErrnoText(("cannot bind " + path).c_str());
      ::close(fd);
      return false;
    }
    // Left behind by a simulated keyboard that ended without End, or served
    // by one that still runs: only the first may be replaced.
    const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool alive =
        probe >= 0 && ::connect(probe, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
    if (probe >= 0) ::close(probe);
    struct stat st {};
    if (alive || ::lstat(path.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode) ||
        st.st_uid != ::geteuid()) {
      if (why) *why = "another simulated keyboard already serves " + path;
      ::close(fd);
      return false;
    }
    ::unlink(path.c_str());
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
      if (why) *why = ErrnoText(("cannot bind " + path).c_str());
      ::close(fd);
      return false;
    }
  }
  if (::chmod(path.c_str(), 0600) != 0 || ::listen(fd, 4) != 0 ||
      ::pipe2(wakeFds_, O_CLOEXEC) != 0) {
    if (why) *why = ErrnoText(("cannot listen on " + path).c_str());
    ::unlink(path.c_str());
    ::close(fd);
    return false;
  }
  listenFd_ = fd;
  path_ = path;
  handler_ = std::move(handler);
  thread_ = std::thread([this] { Serve(); });
  return true;
}

void ControlServer::Stop() {
  if (thread_.joinable()) {
    const char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(wakeFds_[1], &byte, 1);
    thread_.join();
  }
  if (listenFd_ >= 0) {
    ::close(listenFd_);
    ::unlink(path_.c_str());
    listenFd_ = -1;
  }
  for (int& fd : wakeFds_) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
}

void ControlServer::Serve() {
  for (;;) {
    pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeFds_[0], POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents != 0) return;
    if ((fds[0].revents & POLLIN) == 0) continue;
    const int client = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    if (!PeerIsThisUser(client)) {
      ::close(client);
      continue;
    }
    SetTimeouts(client);
    std::string command;
    char buffer[512];
    bool complete = false;
    while (command.size() < kMaxCommandBytes) {
      const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      command.append(buffer, static_cast<std::size_t>(n));
      if (const auto nl = command.find('\n'); nl != std::string::npos) {
        command.resize(nl);
        complete = true;
        break;
      }
    }
    std::string reply;
    int result = -1;
    if (complete) {
      result = handler_(command, reply);
    } else {
      reply = "command line missing or longer than 4096 bytes";
    }
    WriteAll(client, std::to_string(result) + "\n" + reply);
    ::close(client);
  }
}

bool SendControlCommand(const std::string& path, std::string_view command, int* result,
                        std::string* reply, std::string* why) {
  sockaddr_un addr{};
  if (!FillAddress(path, addr, why)) return false;
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    if (why) *why = ErrnoText("socket");
    return false;
  }
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
    if (why) *why = ErrnoText(("no simulated keyboard at " + path).c_str());
    ::close(fd);
    return false;
  }
  // A socket of another user at this path is not this user's simulated
  // keyboard, whoever made it.
  if (!PeerIsThisUser(fd)) {
    if (why) *why = "the socket at " + path + " belongs to another user";
    ::close(fd);
    return false;
  }
  timeval tv{};
  tv.tv_sec = 30;  // commands that send events wait for their delivery
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  std::string line(command);
  line += '\n';
  std::string answer;
  bool ok = WriteAll(fd, line);
  char buffer[4096];
  while (ok) {
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ok = false;
      break;
    }
    if (n == 0) break;
    answer.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  const auto nl = answer.find('\n');
  if (!ok || nl == std::string::npos) {
    if (why) *why = "no answer from the simulated keyboard at " + path;
    return false;
  }
  *result = std::atoi(answer.substr(0, nl).c_str());
  *reply = answer.substr(nl + 1);
  return true;
}

}  // namespace kst::sim
