#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <vector>

namespace kst {
namespace {

struct Case {
  const char* name;
  QStringList arguments;
  std::vector<Switch> switches;
  QString screenshot;
};

TEST(CommandLineTest, RecognisesSwitchesInOrder) {
  const std::vector<Case> cases = {
      {"none", {}, {}, {}},
      {"kill any case",
       {"/kill", "/KILL", "/Kill"},
       {Switch::Kill, Switch::Kill, Switch::Kill},
       {}},
      {"start any case", {"/sTaRt"}, {Switch::Start}, {}},
      {"long forms", {"--start", "--kill"}, {Switch::Start, Switch::Kill}, {}},
      {"long forms keep their case", {"--KILL", "--Start"}, {}, {}},
      {"start then kill", {"/Start", "/Kill"}, {Switch::Start, Switch::Kill}, {}},
      {"others ignored", {"-kill", "Kill", "/Killer", "x", "--simulate"}, {Switch::Simulate}, {}},
      {"list keys", {"--list-keys"}, {Switch::ListKeys}, {}},
      {"diagnose and help",
       {"--diagnose", "--help", "-h", "--Diagnose", "/diagnose"},
       {Switch::Diagnose, Switch::Help, Switch::Help},
       {}},
      {"screenshot with value",
       {"--screenshot", "a.png", "/start"},
       {Switch::Screenshot, Switch::Start},
       "a.png"},
      {"screenshot joined", {"--screenshot=out/b.png"}, {Switch::Screenshot}, "out/b.png"},
      {"screenshot without file", {"--screenshot"}, {}, {}},
      {"screenshot empty", {"--screenshot="}, {}, {}},
  };
  for (const Case& c : cases) {
    const CommandLine line = CommandLine::Parse(c.arguments);
    EXPECT_EQ(line.switches, c.switches) << c.name;
    EXPECT_EQ(line.screenshotFile, c.screenshot) << c.name;
  }
}

TEST(CommandLineTest, HasFindsAnyPosition) {
  const CommandLine line = CommandLine::Parse({"x", "/START", "--simulate"});
  EXPECT_TRUE(line.Has(Switch::Start));
  EXPECT_TRUE(line.Has(Switch::Simulate));
  EXPECT_FALSE(line.Has(Switch::Kill));
}

}  // namespace
}  // namespace kst
