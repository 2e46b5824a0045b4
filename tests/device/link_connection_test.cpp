// The device link over the simulated keyboard: arming, presence changes and
// the connection worker, the keyboard's notifications.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "device/CommandProtocol.h"
#include "link_harness.h"

namespace kst::linktest {
namespace {

using Calls = std::vector<std::string>;

TEST_F(LinkFixture, KeyboardPresentAtStartIsReadAndOpenedOnce) {
  ASSERT_EQ(Arm(), 1);
  EXPECT_EQ(host.TakeCalls(), (Calls{kSendVersion, kSendProfile, "icon 141", kPostOpen}));
  EXPECT_NE(link->UnitId(Channel::Cons), 0u);
  EXPECT_NE(link->UnitId(Channel::Ctrl), 0u);
  EXPECT_EQ(link->ConnectionState(), 1);
  EXPECT_TRUE(link->FirstConnectionDone());
  const auto factory = SimRead("factory");
  ASSERT_EQ(factory.size(), kDeviceKeyMapBytes);
  const auto map = link->FactoryKeyMap();
  EXPECT_TRUE(std::equal(map.begin(), map.end(), factory.begin()));
  const auto settings = SimRead("settings");
  ASSERT_EQ(settings.size(), kSettingsBlockBytes);
  EXPECT_EQ(link->DeviceMacroCapacity(), settings[kSettingsMacroSpace] * 128u);
  EXPECT_GT(link->DeviceMacroCapacity(), 0u);

  // The same count again changes nothing.
  link->ConnectionWorker(1);
  ASSERT_TRUE(Idle());
  EXPECT_TRUE(host.Calls().empty());

  // Removal forgets the profile, tells the window and hides it.
  link->SetCachedCurrentProfile(2);
  Sim("unplug");
  ASSERT_TRUE(Idle());
  EXPECT_EQ(host.TakeCalls(), (Calls{kSendGone, "hide", "icon 128"}));
  EXPECT_EQ(link->CachedCurrentProfile(), -1);
  EXPECT_EQ(link->ConnectionState(), 0);

  // A later connection is read again but not opened again.
  Sim("plug");
  ASSERT_TRUE(Idle());
  EXPECT_EQ(host.TakeCalls(), (Calls{kSendVersion, kSendProfile, "icon 141"}));
}

class AbsentAtStart : public LinkFixture {
  void BeforeBind() override { setenv("KESTRUNE_SIM_PRESENT", "0", 1); }
};

TEST_F(AbsentAtStart, NeverPostsOpen) {
  ASSERT_EQ(Arm(), 0);
  EXPECT_TRUE(host.Calls().empty());
  EXPECT_TRUE(link->FirstConnectionDone());
  Sim("plug");
  ASSERT_TRUE(Idle());
  EXPECT_EQ(host.TakeCalls(), (Calls{kSendVersion, kSendProfile, "icon 141"}));
  EXPECT_EQ(link->ConnectionState(), 1);
}

TEST_F(LinkFixture, TrayIconWaitsForTheWindowsInitialisation) {
  host.initialised = false;
  link->ArmChannels();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (host.Calls().size() < 2 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(150));  // several polls of the worker
  EXPECT_EQ(host.Calls(), (Calls{kSendVersion, kSendProfile}));
  EXPECT_EQ(link->ConnectionState(), 0);  // not stored before the icon is set
  host.initialised = true;
  ASSERT_TRUE(Idle());
  EXPECT_EQ(host.TakeCalls(), (Calls{kSendVersion, kSendProfile, "icon 141", kPostOpen}));
}

TEST_F(LinkFixture, UnreadableFactoryMapKeepsTheOldMapAndSaysSo) {
  Sim("fault status-fe every");
  ASSERT_EQ(Arm(), 1);
  EXPECT_EQ(host.TakeCalls(), (Calls{kSendVersion, "prompt IDS_MIAN_DEFAULT_PROMPT", kSendProfile,
                                     "icon 141", kPostOpen}));
  const auto map = link->FactoryKeyMap();
  EXPECT_TRUE(std::all_of(map.begin(), map.end(), [](std::uint8_t b) { return b == 0; }));
  EXPECT_EQ(link->DeviceMacroCapacity(), 0u);
}

TEST_F(LinkFixture, WindowMayTalkToTheKeyboardWhileTheWorkerWaits) {
  // The window's profile handler reads the keyboard while the worker waits
  // for it inside SendToWindow.
  int profile = -5;
  host.onSend = [&](std::uint32_t message) {
    if (message == UM_PROFILE) profile = GetCurrentProfile(*link);
  };
  ASSERT_EQ(Arm(), 1);
  EXPECT_EQ(profile, SimRead("settings")[kSettingsCurrentProfile]);
}

TEST_F(LinkFixture, GKeyBankKeyTogglesTheLedStatusBackAndForth) {
  ASSERT_EQ(Arm(), 1);
  host.TakeCalls();
  const std::vector<std::uint8_t> bankB = {0x05, 0x03};
  const std::vector<std::uint8_t> bankA = {0x05, 0x02};
  Sim("g-bank");
  EXPECT_EQ(SimRead("led"), bankB);
  EXPECT_EQ(link->GKeyBank(), 1);
  Sim("g-bank");
  EXPECT_EQ(SimRead("led"), bankA);
  EXPECT_EQ(link->GKeyBank(), 0);
  EXPECT_NE(Sim("reports").find("led-writes 2"), std::string::npos);
  EXPECT_EQ(host.TakeCalls(), (Calls{kPostGKeys, kPostGKeys}));
}

TEST_F(LinkFixture, NotificationsStartTimersAndShowActivity) {
  ASSERT_EQ(Arm(), 1);
  host.TakeCalls();
  Sim("profile-key");
  Sim("factory-reset");
  Sim("activity on");
  Sim("activity off");
  ASSERT_TRUE(Idle());
  EXPECT_EQ(host.TakeCalls(),
            (Calls{"timer 1051 0", "timer 1053 0", "activity on", "activity off"}));
}

TEST_F(LinkFixture, LinksCanBeShutDownAndMadeAgain) {
  ASSERT_EQ(Arm(), 1);
  DeviceLink second(api, host);
  EXPECT_EQ(second.ArmChannels(), -1);  // one receiver of notifications at a time
  link->Shutdown();
  second.Shutdown();
  host.TakeCalls();
  Sim("g-bank");  // nothing left registered to hear it
  EXPECT_TRUE(host.TakeCalls().empty());
  EXPECT_EQ(SimRead("led"), (std::vector<std::uint8_t>{0x05, 0x02}));
  link = std::make_unique<DeviceLink>(api, host);
  ASSERT_EQ(Arm(), 1);
  EXPECT_EQ(host.TakeCalls(), (Calls{kSendVersion, kSendProfile, "icon 141", kPostOpen}));
  std::array<std::uint8_t, kDeviceKeyMapBytes> map{};
  EXPECT_EQ(ReadKeyMap(*link, map, 0), kDeviceOk);
}

}  // namespace
}  // namespace kst::linktest
