#include "lighting/KeyLeds.h"

#include <gtest/gtest.h>

#include <optional>
#include <set>

#include "foundation/BoardKeys.h"
#include "lighting/KeyColourTable.h"

namespace kst {
namespace {

TEST(KeyLedsTest, LitButtonsAndTheirPositions) {
  struct Case {
    const char* name;
    int controlId;
    std::optional<int> led;
  };
  const Case cases[] = {
      {"A", 1058, 64},
      {"Y, no light of its own", 1049, 6},
      {"G1", 1000, 17},
      {"G5", 1004, 32},
      {"G6", 1140, 9},
      {"G7", 1141, 125},
      {"G9", 1143, 125},
      {"Fn", 1174, 106},
      {"D1", 1016, std::nullopt},
      {"D6", 1021, std::nullopt},
      {"edit-mode switch", 1167, std::nullopt},
      {"no control", 0, std::nullopt},
      {"negative", -1, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(LedOfKeyButton(c.controlId), c.led);
  }
}

// Every board key, the nine G keys and Fn, each once, with the positions of
// LitKeyLeds in the same order and inside the colour table.
TEST(KeyLedsTest, TablesCoverEveryLitButtonOnce) {
  const auto buttons = LitKeyButtons();
  const auto leds = LitKeyLeds();
  ASSERT_EQ(buttons.size(), static_cast<std::size_t>(kBoardKeyCount) + 10);
  ASSERT_EQ(leds.size(), buttons.size());
  std::set<int> ids;
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    EXPECT_TRUE(ids.insert(buttons[i].controlId).second) << buttons[i].controlId;
    EXPECT_EQ(leds[i], buttons[i].led);
    EXPECT_GE(leds[i], 0);
    EXPECT_LT(leds[i], kLedPositionCount);
  }
  for (const BoardKey& key : BoardKeyList()) EXPECT_EQ(ids.count(key.controlId), 1u);
}

}  // namespace
}  // namespace kst
