#pragma once
// The local socket between a running simulated keyboard and kestrune-sim.

#include <functional>
#include <string>
#include <string_view>
#include <thread>

namespace kst::sim {

// Where the socket lives (see TolvaneSimControl.h); empty when disabled by
// KESTRUNE_SIM_SOCKET=off, or with the reason in `why` when the user has no
// private runtime folder.
std::string ControlSocketPath(std::string* why = nullptr);

// Serves one connection at a time on its own thread: reads one command line,
// answers "<result>\n<reply text>", closes. Peers of another user are refused.
class ControlServer {
 public:
  using Handler = std::function<int(std::string_view command, std::string& reply)>;

  ControlServer() = default;
  ~ControlServer();
  ControlServer(const ControlServer&) = delete;
  ControlServer& operator=(const ControlServer&) = delete;

  // False with a reason when the socket cannot be served (another simulated
  // keyboard already serves it, or the folder is not safe).
  bool Start(const std::string& path, Handler handler, std::string* why);
  void Stop();

 private:
  void Serve();

  std::string path_;
  Handler handler_;
  int listenFd_ = -1;
  int wakeFds_[2] = {-1, -1};
  std::thread thread_;
};

// Client side: sends one command, gives the result number and the reply text.
// False with a reason when no simulated keyboard answers.
bool SendControlCommand(const std::string& path, std::string_view command, int* result,
                        std::string* reply, std::string* why);

}  // namespace kst::sim
