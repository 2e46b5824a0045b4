// Events of the simulated keyboard and the faults it injects, as a callback
// registered through the service library sees them.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sim_harness.h"

namespace kst::simtest {
namespace {

using namespace std::chrono_literals;

int ConsumerCode(const Event& e) {
  if (e.viaTransfer.size() < 2) return -1;
  return e.viaTransfer[0] | (e.viaTransfer[1] << 8);
}

using SimEvents = SimFixture;

TEST_F(SimEvents, KeysReportTheirCodesOnCons) {
  struct Case {
    const char* command;
    int code;
  };
  const Case cases[] = {
      {"profile-key", 1025}, {"g-bank", 767}, {"activity on", 6161}, {"activity off", 6160}};
  for (const Case& c : cases) {
    Control(c.command);
    // The control command returns once the callback has returned.
    ASSERT_EQ(Recorder::Get().Count(TOLVANE_EVENT_REPORT, kTagCons), 1u) << c.command;
    const auto e = Recorder::Get().Take(TOLVANE_EVENT_REPORT, kTagCons);
    EXPECT_EQ(ConsumerCode(*e), c.code) << c.command;
    EXPECT_EQ(e->viaTransfer, e->viaRequest) << c.command;
  }
  Control("activity");
  const auto on = Recorder::Get().Take(TOLVANE_EVENT_REPORT, kTagCons);
  const auto off = Recorder::Get().Take(TOLVANE_EVENT_REPORT, kTagCons);
  ASSERT_TRUE(on && off);
  EXPECT_EQ(ConsumerCode(*on), 6161);
  EXPECT_EQ(ConsumerCode(*off), 6160);
  EXPECT_EQ(Recorder::Get().Count(TOLVANE_EVENT_REPORT, kTagCtrl), 0u)
      << "events go to 'CONS' only";
}

TEST_F(SimEvents, ProfileKeyStepsThroughTheFourProfiles) {
  for (int expected : {1, 2, 3, 0}) {
    Control("profile-key");
    EXPECT_EQ(Read("settings")[10], expected);
  }
}

TEST_F(SimEvents, FactoryResetBringsTheDefaultsBack) {
  Control("write keymaps 1024 00000000");
  Control("write parameters 0 14");
  Control("profile-key");
  Control("macro-space 2");
  Recorder::Get().Clear();
  Control("factory-reset");
  const auto e = Recorder::Get().Take(TOLVANE_EVENT_REPORT, kTagCons);
  ASSERT_TRUE(e);
  EXPECT_EQ(ConsumerCode(*e), 1026);
  const auto settings = Read("settings");
  EXPECT_EQ(settings[10], 0);
  EXPECT_EQ(settings[11], 64);
  EXPECT_EQ(Read("parameters")[0], 1);
  EXPECT_EQ(Read("keymaps").size(), 2048u);
  const auto factory = Read("factory");
  const auto keyMaps = Read("keymaps");
  EXPECT_TRUE(std::equal(factory.begin(), factory.end(), keyMaps.begin() + 1024));
}

TEST_F(SimEvents, UnplugAndPlugChangePresenceOnCtrl) {
  Control("unplug");
  const auto gone = Recorder::Get().Take(TOLVANE_EVENT_PRESENCE, kTagCtrl);
  ASSERT_TRUE(gone);
  EXPECT_EQ(gone->lengthOrCount, 0u);
  EXPECT_EQ(Recorder::Get().Count(TOLVANE_EVENT_PRESENCE, kTagCons), 0u);
  EXPECT_EQ(api.RequestGetDeviceCount(&kCtrl, 0, 0, 0, 0), 0);
  const Report request = MakeRequest(0x03, 44);
  EXPECT_EQ(api.RequestWriteOne(&kCtrl, nullptr, 0, request.data(), 64, 0, nullptr), 0);
  Control("profile-key", TOLVANE_SIM_FAILED);
  EXPECT_EQ(Control("unplug"), "already unplugged");
  EXPECT_EQ(Recorder::Get().Count(TOLVANE_EVENT_PRESENCE, kTagCtrl), 0u);

  Control("plug");
  const auto back = Recorder::Get().Take(TOLVANE_EVENT_PRESENCE, kTagCtrl);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->lengthOrCount, 1u);
  EXPECT_EQ(api.RequestGetDeviceCount(&kCtrl, 0, 0, 0, 0), 1);
  EXPECT_TRUE(Exchange(request));
}

TEST_F(SimEvents, LedOutputReportIsKept) {
  EXPECT_EQ(Control("read led"), "0502");
  std::uint32_t unit = 0;
  const std::uint8_t status[2] = {0x05, 0x03};
  EXPECT_GT(api.RequestStatusWrite(&kLed, &Recorder::Callback, kTagLed, status, 2, 0, &unit), 0);
  EXPECT_NE(unit, 0u);
  EXPECT_EQ(Control("read led"), "0503");
  std::uint8_t back[2] = {};
  EXPECT_EQ(api.RequestStatusGet(&kLed, nullptr, 0, back, 2, 0, nullptr), 2);
  EXPECT_EQ(back[1], 0x03);
  EXPECT_THAT(Control("reports"), ::testing::HasSubstr("led-writes 1"));
}

TEST_F(SimEvents, DeletedReadGetsNothingMore) {
  ASSERT_EQ(api.DeleteRequestFromUnitId(consUnit), 1);
  Control("g-bank");
  EXPECT_EQ(Recorder::Get().Count(TOLVANE_EVENT_REPORT, kTagCons), 0u);
}

using SimFaults = SimFixture;

TEST_F(SimFaults, StatusAndCommandFaultsHitTheNthRequestOnly) {
  struct Case {
    const char* fault;
    int status;  // reply status of the faulty request, -1: no reply
    bool wrongCommand;
  };
  const Case cases[] = {
      {"fault status-fe 2", 0xFE, false},
      {"fault status-ff 2", 0xFF, false},
      {"fault wrong-command 2", 0x00, true},
      {"fault no-reply 2", -1, false},
  };
  for (const Case& c : cases) {
    Control(c.fault);
    const std::vector<std::uint8_t> data(8, 0x11);
    const auto first = Exchange(MakeRequest(0x0A, 8, 0, data));
    ASSERT_TRUE(first) << c.fault;
    EXPECT_EQ((*first)[7], 0) << c.fault;
    const auto second = Exchange(MakeRequest(0x0A, 8, 8, data), 300ms);
    if (c.status < 0) {
      EXPECT_FALSE(second) << c.fault;
    } else {
      ASSERT_TRUE(second) << c.fault;
      EXPECT_EQ((*second)[7], c.status) << c.fault;
      EXPECT_EQ((*second)[3], c.wrongCommand ? 0x8A : 0x0A) << c.fault;
    }
    // The faulty request changed nothing; the next one is served again.
    EXPECT_EQ(Control("read macro 8 8"), "0000000000000000") << c.fault;
    const auto third = Exchange(MakeRequest(0x0A, 8, 16, data));
    ASSERT_TRUE(third) << c.fault;
    EXPECT_EQ((*third)[7], 0) << c.fault;
    EXPECT_EQ((*third)[3], 0x0A) << c.fault;
    Control("reset");
  }
}

TEST_F(SimFaults, EveryRequestUntilCleared) {
  Control("fault status-fe every");
  for (int i = 0; i < 3; ++i) {
    const auto reply = Exchange(MakeRequest(0x01));
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)[7], 0xFE);
  }
  EXPECT_THAT(Control("fault"), ::testing::HasSubstr("status-fe every"));
  Control("fault clear");
  EXPECT_EQ((*Exchange(MakeRequest(0x01)))[7], 0x00);
}

TEST_F(SimFaults, UnplugAfterTheNthRequestIsAnswered) {
  Control("fault unplug 2");
  const std::vector<std::uint8_t> data(56, 0x22);
  EXPECT_TRUE(Exchange(MakeRequest(0x08, 56, 0, data)));
  EXPECT_TRUE(Exchange(MakeRequest(0x08, 56, 56, data)));
  const auto gone = Recorder::Get().Take(TOLVANE_EVENT_PRESENCE, kTagCtrl);
  ASSERT_TRUE(gone);
  EXPECT_EQ(gone->lengthOrCount, 0u);
  EXPECT_FALSE(Send(MakeRequest(0x08, 56, 112, data)));
  const auto keyMaps = Read("keymaps");
  EXPECT_EQ(keyMaps[111], 0x22);
  EXPECT_NE(keyMaps[112], 0x22);
}

TEST_F(SimFaults, SlowReplyComesLate) {
  Control("fault slow 1 150");
  const auto start = std::chrono::steady_clock::now();
  const auto reply = Exchange(MakeRequest(0x01));
  ASSERT_TRUE(reply);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 150ms);
  EXPECT_EQ((*reply)[7], 0x00);
}

TEST_F(SimFaults, BadFaultCommandsAreRefused) {
  for (const char* command : {"fault melt 2", "fault status-fe", "fault status-fe 0",
                              "fault status-fe x", "fault slow 2", "fault slow 2 999999"}) {
    Control(command, TOLVANE_SIM_BAD_ARGUMENT);
  }
  EXPECT_EQ(Control("fault"), "no faults\n");
}

}  // namespace
}  // namespace kst::simtest
