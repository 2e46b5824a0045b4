// kestrune-sim: sends one control command to the running simulated keyboard
// and prints its reply. Exit status 0 done, 1 refused or failed, 2 unknown
// command, 3 no simulated keyboard running.

#include <cstdio>
#include <string>

#include "device/sim/SimSocket.h"

int main(int argc, char** argv) {
  std::string command;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) command += ' ';
    command += argv[i];
  }
  if (command.empty() || command == "--help" || command == "-h") {
    std::printf(
        "usage: kestrune-sim <command> [arguments]\n"
        "Talks to the simulated keyboard of a running kestrune (--simulate).\n"
        "Commands: profile-key, g-bank, factory-reset, activity on|off, unplug, plug,\n"
        "  dump [<area>|lighting], read <area> [<offset> <length>],\n"
        "  write <area> <offset> <hex>, effects [<code>,...|default|none],\n"
        "  macro-space <units>, reset, fault <kind> <n>|every [<ms>], fault clear,\n"
        "  latency [<us>], echo [on|off], reports [clear], status, sync, save, help\n");
    return command.empty() ? 1 : 0;
  }
  std::string why;
  const std::string path = kst::sim::ControlSocketPath(&why);
  if (path.empty()) {
    if (why.empty()) why = "the control socket is switched off (KESTRUNE_SIM_SOCKET=off)";
    std::fprintf(stderr, "kestrune-sim: %s\n", why.c_str());
    return 3;
  }
  int result = 0;
  std::string reply;
  if (!kst::sim::SendControlCommand(path, command, &result, &reply, &why)) {
    std::fprintf(stderr, "kestrune-sim: %s\n", why.c_str());
    return 3;
  }
  if (!reply.empty() && reply.back() != '\n') reply += '\n';
  std::fputs(reply.c_str(), result == 1 ? stdout : stderr);
  if (result == 1) return 0;
  return result == 0 ? 2 : 1;
}
