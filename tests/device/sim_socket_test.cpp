// Where kestrune-sim looks for the simulated keyboard, and whom it talks to.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "../support/ForeignSocketServer.h"

namespace {

namespace fs = std::filesystem;

struct ToolRun {
  int exitCode = -1;
  std::string output;  // stdout and stderr
};

// Runs the tool under `env` with `environment` (its "-u NAME" options, then
// "NAME=value" words) without KESTRUNE_SIM_SOCKET unless given.
ToolRun RunTool(const std::string& environment, const std::string& command) {
  const fs::path tool = fs::path(KST_BIN_DIR) / "kestrune-sim";
  const bool ownSocket = environment.find("KESTRUNE_SIM_SOCKET=") != std::string::npos;
  const std::string line = std::string("env ") + (ownSocket ? "" : "-u KESTRUNE_SIM_SOCKET ") +
                           environment + " '" + tool.string() + "' " + command + " 2>&1";
  ToolRun run;
  FILE* pipe = ::popen(line.c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe)) run.output += buffer;
  const int status = ::pclose(pipe);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

class SimSocketPlace : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/sim-socket-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    fs::create_directories(dir_ / "home");
    if (!fs::exists(fs::path(KST_BIN_DIR) / "kestrune-sim")) GTEST_SKIP() << "no kestrune-sim";
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  fs::path dir_;
};

// A runtime folder that other users can write, or none, never sends the tool
// to a shared folder: it looks in the private folder in the home.
TEST_F(SimSocketPlace, UnfitRuntimeDirMeansThePrivateFolderInTheHome) {
  const fs::path open = dir_ / "open";
  fs::create_directories(open);
  ::chmod(open.c_str(), 0777);
  const std::string home = "HOME='" + (dir_ / "home").string() + "'";
  const std::string expected = (dir_ / "home/.cache/kestrune-runtime/kestrune-sim.sock").string();
  // env takes its -u options before the first assignment.
  for (const std::string& environment :
       {"-u XDG_CACHE_HOME -u XDG_RUNTIME_DIR " + home,
        "-u XDG_CACHE_HOME " + home + " XDG_RUNTIME_DIR='" + open.string() + "'",
        "-u XDG_CACHE_HOME " + home + " XDG_RUNTIME_DIR=relative"}) {
    SCOPED_TRACE(environment);
    const ToolRun run = RunTool(environment, "status");
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_NE(run.output.find("no simulated keyboard at " + expected), std::string::npos)
        << run.output;
    struct stat st {};
    ASSERT_EQ(::lstat((dir_ / "home/.cache/kestrune-runtime").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
  }
}

// A socket at the path served by another user gets no command.
TEST_F(SimSocketPlace, ToolTellsNothingToASocketOfAnotherUser) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to serve as another user";
  ::chmod(dir_.c_str(), 0777);
  const std::string path = (dir_ / "sim.sock").string();
  kst::test::ForeignSocketServer squatter(path, "1\nok\n");
  ASSERT_TRUE(squatter.Listening());
  const ToolRun run = RunTool("KESTRUNE_SIM_SOCKET='" + path + "'", "factory-reset");
  EXPECT_EQ(run.exitCode, 3) << run.output;
  EXPECT_NE(run.output.find("belongs to another user"), std::string::npos) << run.output;
  EXPECT_EQ(squatter.Wait(), 0) << "1: the command reached the other user";
}

}  // namespace
