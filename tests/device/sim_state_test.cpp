// What the simulated keyboard keeps between runs, its capture file, its
// latency and its control commands (in process and over the local socket).

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>

#include "sim_harness.h"

namespace kst::simtest {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;

std::vector<std::uint8_t> Slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Spit(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

class SimState : public SimFixture {
 protected:
  // Ends the run and starts the next one with the same state file.
  void Restart() {
    ASSERT_EQ(api.End(), 1);
    ASSERT_EQ(api.Init(0), 1);
    ASSERT_EQ(api.RequestAsyncRead(&kCtrl, &Recorder::Callback, kTagCtrl, 0, &ctrlUnit), 1);
  }
};

TEST_F(SimState, MemoryOutlivesTheRun) {
  const std::vector<std::uint8_t> record{5, 1, 0, 5, 2, 0};
  ASSERT_EQ((*Exchange(MakeRequest(0x08, 6, 0x0200, record)))[7], 0);
  ASSERT_EQ((*Exchange(MakeRequest(0x0A, 6, 100, record)))[7], 0);
  Control("profile-key");
  Control("macro-space 3");
  Restart();
  EXPECT_EQ(Control("read keymaps 512 6"), "050100050200");
  EXPECT_EQ(Control("read macro 100 6"), "050100050200");
  EXPECT_EQ(Read("settings")[10], 1);
  EXPECT_EQ(Read("macro").size(), 3u * 128);

  Control("reset");
  Restart();
  EXPECT_EQ(Read("settings")[10], 0);
  EXPECT_EQ(Read("keymaps"), [this] {
    auto factory = Read("factory");
    std::vector<std::uint8_t> four;
    for (int p = 0; p < 4; ++p) four.insert(four.end(), factory.begin(), factory.end());
    return four;
  }());
}

TEST_F(SimState, DamagedFileIsKeptAsideAndFactoryStateUsed) {
  Control("write colours 0 123456");
  Control("save");
  const std::vector<std::uint8_t> good = Slurp(statePath);
  ASSERT_GT(good.size(), 16u);
  ASSERT_TRUE(std::equal(good.begin(), good.begin() + 4, "KSIM"));
  auto with = [&good](auto change) {
    auto bytes = good;
    change(bytes);
    return bytes;
  };
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
  };
  const Case cases[] = {
      {"empty", {}},
      {"header only", std::vector<std::uint8_t>(good.begin(), good.begin() + 16)},
      {"cut short", std::vector<std::uint8_t>(good.begin(), good.end() - 1)},
      {"one byte changed", with([](auto& b) { b[16 + 300] ^= 0x40; })},
      {"other magic", with([](auto& b) { b[0] = 'X'; })},
      {"newer version", with([](auto& b) { b[4] = 2; })},
      {"longer than it says", with([](auto& b) { b.push_back(0); })},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(api.End(), 1);
    std::filesystem::remove(statePath.string() + ".bad");
    Spit(statePath, c.bytes);
    ASSERT_EQ(api.Init(0), 1) << c.what;
    EXPECT_EQ(Control("read colours 0 3"), "FF0000") << c.what;
    EXPECT_EQ(Slurp(statePath.string() + ".bad"), c.bytes) << c.what;
    EXPECT_EQ(Read("settings")[11], 64) << c.what;
  }
  // The fresh factory state is written back and reads as good.
  ASSERT_EQ(api.End(), 1);
  const auto fresh = Slurp(statePath);
  ASSERT_EQ(fresh.size(), good.size());
  EXPECT_TRUE(std::equal(fresh.begin(), fresh.begin() + 4, "KSIM"));
  std::filesystem::remove(statePath.string() + ".bad");
  ASSERT_EQ(api.Init(0), 1);
  EXPECT_FALSE(std::filesystem::exists(statePath.string() + ".bad"));
}

class SimCapture : public SimFixture {
 protected:
  void BeforeInit() override {
    capturePath = dir / "capture.txt";
    setenv("KESTRUNE_CAPTURE", capturePath.c_str(), 1);
  }
  std::filesystem::path capturePath;
};

TEST_F(SimCapture, EveryReportIsOneLine) {
  ASSERT_TRUE(Exchange(MakeRequest(0x03, 0x2C)));
  Control("g-bank");
  const std::uint8_t led[2] = {0x05, 0x03};
  api.RequestStatusWrite(&kLed, nullptr, kTagLed, led, 2, 0, nullptr);
  ASSERT_EQ(api.End(), 1);

  std::ifstream in(capturePath);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 4u);
  // "<us> <direction> <tag> <bytes>", "??" standing for any byte.
  auto matches = [](const std::string& line, const std::string& direction, const std::string& tag,
                    const std::vector<std::string>& bytes) {
    std::istringstream in(line);
    std::string us, dir, t;
    in >> us >> dir >> t;
    if (us.empty() || !std::all_of(us.begin(), us.end(), ::isdigit) || dir != direction ||
        t != tag) {
      return false;
    }
    std::vector<std::string> got;
    for (std::string b; in >> b;) got.push_back(b);
    if (got.size() != bytes.size()) return false;
    for (std::size_t i = 0; i < got.size(); ++i) {
      if (bytes[i] != "??" && got[i] != bytes[i]) return false;
    }
    return true;
  };
  auto padded = [](std::vector<std::string> head, const std::string& fill) {
    head.resize(64, fill);
    return head;
  };
  EXPECT_TRUE(matches(lines[0], ">", "CTRL",
                      padded({"04", "2F", "00", "03", "2C", "00", "00", "00"}, "00")))
      << lines[0];
  EXPECT_TRUE(matches(lines[1], "<", "CTRL",
                      padded({"04", "??", "??", "03", "2C", "00", "00", "00"}, "??")))
      << lines[1];
  EXPECT_TRUE(matches(lines[2], "<", "CONS", {"FF", "02", "00", "00"})) << lines[2];
  EXPECT_TRUE(matches(lines[3], ">", "LED", {"05", "03"})) << lines[3];
  long previous = -1;
  for (const auto& line : lines) {
    const long us = std::stol(line);
    EXPECT_GE(us, previous) << "time goes forward";
    previous = us;
  }
}

using SimLatency = SimFixture;

TEST_F(SimLatency, EachReportTakesTheSetTimeEachWay) {
  EXPECT_EQ(Control("latency"), "0");
  Control("latency 3000");
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(Exchange(MakeRequest(0x01)));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 6ms);
  Control("latency 10000001", TOLVANE_SIM_BAD_ARGUMENT);
  // Without the variable a run starts at USB full-speed timing.
  ASSERT_EQ(api.End(), 1);
  unsetenv("KESTRUNE_SIM_LATENCY_US");
  ASSERT_EQ(api.Init(0), 1);
  EXPECT_EQ(Control("latency"), "1000");
}

using SimControl = SimFixture;

TEST_F(SimControl, CommandsCheckTheirArguments) {
  struct Case {
    const char* command;
    int result;
  };
  const Case cases[] = {
      {"", TOLVANE_SIM_BAD_ARGUMENT},
      {"jump", TOLVANE_SIM_UNKNOWN},
      {"read nowhere", TOLVANE_SIM_BAD_ARGUMENT},
      {"read settings 40 5", TOLVANE_SIM_BAD_ARGUMENT},
      {"read settings 40 4", TOLVANE_SIM_OK},
      {"write factory 0 00", TOLVANE_SIM_BAD_ARGUMENT},
      {"write led 0 00", TOLVANE_SIM_BAD_ARGUMENT},
      {"write settings 10 04", TOLVANE_SIM_BAD_ARGUMENT},
      {"write settings 43 0000", TOLVANE_SIM_BAD_ARGUMENT},
      {"write settings 0 0G", TOLVANE_SIM_BAD_ARGUMENT},
      {"write settings 0 123", TOLVANE_SIM_BAD_ARGUMENT},
      {"activity maybe", TOLVANE_SIM_BAD_ARGUMENT},
      {"macro-space 256", TOLVANE_SIM_BAD_ARGUMENT},
      {"dump nowhere", TOLVANE_SIM_BAD_ARGUMENT},
      {"plug", TOLVANE_SIM_OK},
  };
  const std::string before = Control("dump");
  for (const Case& c : cases) Control(c.command, c.result);
  EXPECT_EQ(Control("dump"), before);

  char small[8];
  EXPECT_EQ(api.Control("dump", small, sizeof small), TOLVANE_SIM_REPLY_CUT);
  EXPECT_EQ(std::string(small), "simulat");
}

TEST_F(SimControl, DumpLabelsEveryArea) {
  const std::string dump = Control("dump");
  for (const char* label :
       {"[settings] 44 bytes", "[parameters] 252 bytes", "[keymaps] 2048 bytes",
        "[factory] 512 bytes", "[macro] 8192 bytes", "[colours] 2048 bytes", "[led] 2 bytes"}) {
    EXPECT_THAT(dump, HasSubstr(label));
  }
  EXPECT_THAT(dump, HasSubstr("\n0000  00 00 00 00 00 00 00 00 00 00 00 40 01 02 03 04\n"));
}

TEST_F(SimControl, MacroSpaceResizesTheMacroArea) {
  Control("write macro 0 AA55");
  Control("macro-space 1");
  EXPECT_EQ(Read("macro").size(), 128u);
  EXPECT_EQ(Control("read macro 0 2"), "AA55");
  EXPECT_EQ((*Exchange(MakeRequest(0x09, 8, 128)))[7], 0xFE);
  Control("write settings 11 02");
  EXPECT_EQ(Read("macro").size(), 256u);
  EXPECT_EQ((*Exchange(MakeRequest(0x09, 8, 128)))[7], 0x00);
}

class SimSocket : public SimFixture {
 protected:
  void BeforeInit() override {
    socketPath = dir / "sim.sock";
    setenv("KESTRUNE_SIM_SOCKET", socketPath.c_str(), 1);
  }
  // A raw client of the socket protocol.
  std::string Ask(const std::string& command) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", socketPath.c_str());
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
      ::close(fd);
      return "no connection";
    }
    const std::string line = command + "\n";
    EXPECT_EQ(::send(fd, line.data(), line.size(), 0), static_cast<ssize_t>(line.size()));
    std::string answer;
    char buffer[4096];
    for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) answer.append(buffer, n);
    ::close(fd);
    return answer;
  }
  std::filesystem::path socketPath;
};

TEST_F(SimSocket, ServesControlCommandsToThisUserOnly) {
  struct stat st {};
  ASSERT_EQ(::lstat(socketPath.c_str(), &st), 0);
  EXPECT_TRUE(S_ISSOCK(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  EXPECT_EQ(Ask("read settings 10 2"), "1\n0040");
  EXPECT_EQ(Ask("profile-key"), "1\nprofile 1");
  EXPECT_EQ(Recorder::Get().Count(TOLVANE_EVENT_REPORT, kTagCons), 1u);
  EXPECT_THAT(Ask("jump"), ::testing::StartsWith("0\n"));

  // The tool speaks the same protocol.
  const std::filesystem::path tool = std::filesystem::path(KST_BIN_DIR) / "kestrune-sim";
  if (std::filesystem::exists(tool)) {
    // Its exit status and what it printed on standard output.
    auto run = [&](const std::string& arguments) {
      const std::string command = "KESTRUNE_SIM_SOCKET='" + socketPath.string() + "' '" +
                                  tool.string() + "' " + arguments + " 2>/dev/null";
      FILE* pipe = ::popen(command.c_str(), "r");
      std::string out;
      if (!pipe) return std::pair(-1, out);
      char buffer[256];
      while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
      const int status = ::pclose(pipe);
      return std::pair(WIFEXITED(status) ? WEXITSTATUS(status) : -1, out);
    };
    const auto [status, out] = run("dump settings");
    EXPECT_EQ(status, 0);
    EXPECT_THAT(out, HasSubstr("[settings] 44 bytes\n0000  00 00 00 00 00 00 00 00 00 00 01 40"));
    EXPECT_EQ(run("effects 1,4,20"), std::pair(0, std::string("1,4,20\n")));
    EXPECT_EQ(run("effects 1,,4").first, 1);
    EXPECT_EQ(
        run("dump lighting").second.rfind("[lighting] current profile 1, effects 1,4,20\n", 0), 0u);
  }

  // End closes the socket and removes it.
  ASSERT_EQ(api.End(), 1);
  EXPECT_FALSE(std::filesystem::exists(socketPath));
  ASSERT_EQ(api.Init(0), 1);
}

TEST_F(SimSocket, SecondKeyboardLeavesALiveSocketAlone) {
  // A socket served by another process is not taken over; a stale one is.
  const int other = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_EQ(api.End(), 1);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", socketPath.c_str());
  ASSERT_EQ(::bind(other, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(::listen(other, 1), 0);
  ASSERT_EQ(api.Init(0), 1);
  EXPECT_THAT(Control("status"), HasSubstr("socket \n"));
  ASSERT_EQ(api.End(), 1);
  ::close(other);  // leaves the socket file behind, stale
  ASSERT_TRUE(std::filesystem::exists(socketPath));
  ASSERT_EQ(api.Init(0), 1);
  EXPECT_EQ(Ask("latency"), "1\n0");
}

}  // namespace
}  // namespace kst::simtest
