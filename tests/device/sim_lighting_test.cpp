// The simulated keyboard's lighting: the effect codes it offers in the
// settings block, and its lighting summary ("dump lighting").

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "sim_harness.h"

namespace kst::simtest {
namespace {

using ::testing::HasSubstr;

constexpr std::size_t kCodesByte = 12;
constexpr std::size_t kCodeSlots = 32;

class SimLighting : public SimFixture {
 protected:
  // Settings bytes 12-43 as the host reads them (command 0x03).
  std::vector<std::uint8_t> OfferedSlots() {
    const auto reply = Exchange(MakeRequest(0x03, 44));
    EXPECT_TRUE(reply);
    if (!reply || (*reply)[7] != 0) return {};
    return {reply->begin() + 8 + kCodesByte, reply->begin() + 8 + kCodesByte + kCodeSlots};
  }
  void Restart() {
    ASSERT_EQ(api.End(), 1);
    ASSERT_EQ(api.Init(0), 1);
    ASSERT_EQ(api.RequestAsyncRead(&kCtrl, &Recorder::Callback, kTagCtrl, 0, &ctrlUnit), 1);
  }
  // The line of the lighting summary that starts with prefix.
  std::string Line(const std::string& dump, const std::string& prefix) {
    std::istringstream in(dump);
    for (std::string line; std::getline(in, line);) {
      if (line.rfind(prefix, 0) == 0) return line;
    }
    return "(no line " + prefix + ")";
  }
};

std::vector<std::uint8_t> Slots(std::vector<std::uint8_t> codes) {
  codes.resize(kCodeSlots, 0);
  return codes;
}

const std::vector<std::uint8_t> kDefaultCodes{1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11,
                                              12, 13, 14, 15, 16, 17, 18, 20, 21, 22, 23};
const std::string kDefaultText = "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,20,21,22,23";

std::string Numbers(int from, int to) {
  std::string out;
  for (int n = from; n <= to; ++n) out += (out.empty() ? "" : ",") + std::to_string(n);
  return out;
}

TEST_F(SimLighting, EffectListIsSetInTheSettingsBlock) {
  EXPECT_EQ(Control("effects"), kDefaultText);
  EXPECT_EQ(OfferedSlots(), Slots(kDefaultCodes));

  std::vector<std::uint8_t> thirtyTwo;
  for (int n = 1; n <= 32; ++n) thirtyTwo.push_back(static_cast<std::uint8_t>(n));
  struct Case {
    std::string argument;
    std::string shown;
    std::vector<std::uint8_t> slots;
  };
  const Case cases[] = {
      {"1,4,20", "1,4,20", Slots({1, 4, 20})},
      {"0x14,0,255", "20,0,255", Slots({20, 0, 255})},
      {"0,0,7", "0,0,7", Slots({0, 0, 7})},
      {"19,24", "19,24", Slots({19, 24})},
      {Numbers(1, 32), Numbers(1, 32), thirtyTwo},
      {"none", "none", Slots({})},
      {"0", "none", Slots({})},
      {"default", kDefaultText, Slots(kDefaultCodes)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Control("effects " + c.argument), c.shown) << c.argument;
    EXPECT_EQ(Control("effects"), c.shown) << c.argument;
    EXPECT_EQ(OfferedSlots(), c.slots) << c.argument;
  }
}

TEST_F(SimLighting, BadEffectListChangesNothing) {
  Control("effects 1,4,20");
  const auto settings = Read("settings");
  const char* cases[] = {
      "effects 256", "effects -1",    "effects 1,,4", "effects 1,4,",    "effects ,1",
      "effects abc", "effects 0x",    "effects 1;4",  "effects 1.5",     "effects 1, 4",
      "effects 1 4", "effects 0x100", "effects 4a",   "effects Default",
  };
  for (const char* command : cases) {
    const std::string reply = Control(command, TOLVANE_SIM_BAD_ARGUMENT);
    EXPECT_FALSE(reply.empty()) << command;
  }
  EXPECT_THAT(Control("effects " + Numbers(1, 33), TOLVANE_SIM_BAD_ARGUMENT),
              HasSubstr("at most 32"));
  EXPECT_EQ(Read("settings"), settings);
  EXPECT_EQ(Control("effects"), "1,4,20");
}

TEST_F(SimLighting, EffectListOutlivesTheRunAndTheKeyboardsOwnReset) {
  Control("effects 20,1,4");
  Restart();
  EXPECT_EQ(OfferedSlots(), Slots({20, 1, 4}));
  // The list belongs to the firmware: the keyboard's factory reset clears
  // the memory around it, the simulator's reset restores the default.
  Control("write parameters 0 07");
  Control("factory-reset");
  EXPECT_EQ(Read("parameters")[0], 1);
  EXPECT_EQ(Control("effects"), "20,1,4");
  Control("reset");
  EXPECT_EQ(Control("effects"), kDefaultText);
}

TEST_F(SimLighting, DumpShowsWhatTheProtocolWrote) {
  // Profile 2's record with byte k = 100 + k: a field taken from the wrong
  // byte shows another number.
  std::vector<std::uint8_t> record(42);
  for (std::size_t k = 0; k < record.size(); ++k) record[k] = static_cast<std::uint8_t>(100 + k);
  ASSERT_EQ((*Exchange(MakeRequest(0x06, 42, 2 * 42, record)))[7], 0);
  // Every sent key of profile 2 in the base colour (bytes 9-11: 6D 6E 6F),
  // then four keys painted, the one past 143 not shown and one painted back
  // in the base colour.
  std::vector<std::uint8_t> base;
  for (int led = 0; led < 18; ++led) base.insert(base.end(), {0x6D, 0x6E, 0x6F});
  for (int first = 0; first < 144; first += 18) {
    ASSERT_EQ((*Exchange(
                  MakeRequest(0x11, 54, static_cast<std::uint16_t>(2 * 512 + 3 * first), base)))[7],
              0);
  }
  const struct {
    int led;
    std::vector<std::uint8_t> rgb;
  } paints[] = {{9, {0x00, 0xFF, 0x00}},   {0, {0x6D, 0x6E, 0x70}},  {143, {0xFF, 0xFF, 0xFF}},
                {144, {0x12, 0x34, 0x56}}, {60, {0x00, 0x00, 0x00}}, {60, {0x6D, 0x6E, 0x6F}}};
  for (const auto& p : paints) {
    ASSERT_EQ((*Exchange(
                  MakeRequest(0x11, 3, static_cast<std::uint16_t>(2 * 512 + 3 * p.led), p.rgb)))[7],
              0);
  }
  Control("profile-key");
  Control("effects 1,4,20");

  const std::string dump = Control("dump lighting");
  EXPECT_EQ(Line(dump, "[lighting]"), "[lighting] current profile 1, effects 1,4,20");
  EXPECT_EQ(Line(dump, "profile 2:"),
            "profile 2: effect=100 brightness=101 speed=102 direction=103 multicolour=104 "
            "colour=696A6B base-colour=6D6E6F report-rate=115 colour-choice=117");
  EXPECT_EQ(Line(dump, "profile 2 painted"), "profile 2 painted 3: 0=6D6E70 9=00FF00 143=FFFFFF");
  // Untouched profiles show the factory state: keys red on a black base.
  EXPECT_EQ(Line(dump, "profile 3:"),
            "profile 3: effect=7 brightness=4 speed=2 direction=0 multicolour=255 "
            "colour=FFFFFF base-colour=000000 report-rate=0 colour-choice=0");
  const std::string painted3 = Line(dump, "profile 3 painted");
  EXPECT_THAT(painted3, ::testing::StartsWith("profile 3 painted 144: 0=FF0000 1=FF0000 "));
  EXPECT_THAT(painted3, ::testing::EndsWith(" 143=FF0000"));
  // A profile whose keys all show the base colour lists none.
  Control("write colours 512 " + std::string(144 * 6, '0'));
  EXPECT_EQ(Line(Control("dump lighting"), "profile 1 painted"), "profile 1 painted 0:");

  // The whole dump ends with the same summary, after the areas it already had.
  const std::string all = Control("dump");
  EXPECT_THAT(all, HasSubstr("[led] 2 bytes\n"));
  EXPECT_THAT(all, ::testing::EndsWith(Control("dump lighting")));
  EXPECT_EQ(Control("dump lighting extra", TOLVANE_SIM_BAD_ARGUMENT), "dump [<area>|lighting]");
  Control("read lighting", TOLVANE_SIM_BAD_ARGUMENT);
}

}  // namespace
}  // namespace kst::simtest
