// The simulated keyboard rig of the upload tests, and a check that it attaches.
#include <gtest/gtest.h>

#include "upload_sim_rig.cpp"

namespace kst::uploadtest {
namespace {

TEST(UploadSimRigTest, ConnectsAndSeesTheKeyboardsFactoryMapAndMacroSpace) {
  SimKeyboardRig rig({.beforeConnect = {"macro-space 3"}});
  ASSERT_EQ(rig.Error(), "");
  EXPECT_EQ(rig.Device().MacroCapacity(), 3u * 128);
  const auto factory = rig.Read("factory");
  const auto seen = rig.Device().FactoryKeyMap();
  EXPECT_EQ(std::vector<std::uint8_t>(seen.begin(), seen.end()), factory);
  EXPECT_EQ(rig.Device().CurrentProfile(), 0);
}

}  // namespace
}  // namespace kst::uploadtest
