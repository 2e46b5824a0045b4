// The real keyboard's service library without a keyboard: which interfaces
// a selector picks, report framing, descriptors, the permission notice.

#include <gtest/gtest.h>

#include <vector>

#include "device/DeviceChannels.h"
#include "device/ServiceLibrary.h"
#include "device/hid/HidSupport.h"
#include "foundation/DeviceIdentity.h"

namespace kst::hid {
namespace {

InterfaceInfo Node(const char* path, std::uint16_t page, std::uint16_t usage,
                   bool accessible = true, std::uint16_t vendor = kKeyboardVendorId) {
  return {path, vendor, kKeyboardProductId, page, usage, accessible};
}

TEST(HidSelectorTest, PicksTheInterfaceByIdsUsagePageAndUsage) {
  const std::vector<InterfaceInfo> nodes = {
      Node("/dev/hidraw0", 0x0001, 0x0006),           // boot keyboard
      Node("/dev/hidraw1", 0x000C, 0x0001),           // 'CONS'
      Node("/dev/hidraw2", 0xFF1C, 0x0092),           // 'CTRL'
      Node("/dev/hidraw2", 0x0008, 0x0089),           // 'LED', same node
      Node("/dev/hidraw7", 0xFF1C, 0x0092, true, 1),  // someone else's device
  };
  struct Case {
    Channel channel;
    const char* path;
  };
  for (const Case& c : {Case{Channel::Led, "/dev/hidraw2"}, Case{Channel::Cons, "/dev/hidraw1"},
                        Case{Channel::Ctrl, "/dev/hidraw2"}}) {
    const DeviceSelector s = ChannelSelector(c.channel);
    EXPECT_EQ(FirstMatchingPath(nodes, s), c.path);
    EXPECT_EQ(CountMatching(nodes, s), 1);
  }
  DeviceSelector anyUsage = ChannelSelector(Channel::Ctrl);
  anyUsage.matchMask = kMatchVendor | kMatchProduct;
  EXPECT_EQ(CountMatching(nodes, anyUsage), 3);  // nodes, not collections
  DeviceSelector wrongPage = ChannelSelector(Channel::Ctrl);
  wrongPage.usagePage = 0xFF00;
  EXPECT_EQ(CountMatching(nodes, wrongPage), 0);
  EXPECT_EQ(FirstMatchingPath(nodes, wrongPage), "");
}

TEST(HidSelectorTest, NodesTheUserCannotOpenAreNotCountedButNamed) {
  const std::vector<InterfaceInfo> nodes = {
      Node("/dev/hidraw3", 0xFF1C, 0x0092, false),
      Node("/dev/hidraw3", 0x0008, 0x0089, false),
      Node("/dev/hidraw4", 0x000C, 0x0001, false),
      Node("/dev/hidraw9", 0x000C, 0x0001, false, 1),
  };
  EXPECT_EQ(CountMatching(nodes, ChannelSelector(Channel::Ctrl)), 0);
  const auto denied = InaccessiblePaths(nodes, kKeyboardVendorId, kKeyboardProductId);
  EXPECT_EQ(denied, (std::vector<std::string>{"/dev/hidraw3", "/dev/hidraw4"}));
  const std::string notice = PermissionNotice(denied);
  EXPECT_NE(notice.find("/dev/hidraw3, /dev/hidraw4"), std::string::npos);
  EXPECT_NE(notice.find("70-z-ormit-m350rgb.rules"), std::string::npos);
  EXPECT_EQ(notice.find('\n'), std::string::npos);
}

TEST(HidReportTest, OutputReportsAreFramedForHidapi) {
  const std::vector<std::uint8_t> led = {0x05, 0x03};
  EXPECT_EQ(FrameOutputReport(led, true), led);
  EXPECT_EQ(FrameOutputReport(led, false), (std::vector<std::uint8_t>{0x00, 0x05, 0x03}));
  const std::vector<std::uint8_t> shortCommand = {0x04, 0x01, 0x00, 0x01};
  const auto padded = PadReport(shortCommand, 64);
  ASSERT_EQ(padded.size(), 64u);
  EXPECT_EQ(padded[3], 0x01);
  EXPECT_EQ(padded[63], 0x00);
  const std::vector<std::uint8_t> tooLong(70, 0xAA);
  EXPECT_EQ(PadReport(tooLong, 64).size(), 64u);
}

TEST(HidReportTest, DescriptorsTellWhetherReportsAreNumbered) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> descriptor;
    bool numbered;
  };
  const Case cases[] = {
      {"vendor page with report id 4",
       {0x06, 0x1C, 0xFF, 0x09, 0x92, 0xA1, 0x01, 0x85, 0x04, 0x95, 0x3F, 0x75, 0x08, 0x81, 0x02,
        0xC0},
       true},
      {"boot keyboard without ids",
       {0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x81, 0x02, 0xC0},
       false},
      // 0x85 appears only as data of a four-byte item: not a Report ID.
      {"0x85 inside item data", {0x27, 0x85, 0x85, 0x85, 0x85, 0xC0}, false},
      {"long item skipped", {0xFE, 0x02, 0x10, 0x85, 0x01, 0xC0}, false},
      {"report id item cut off", {0x06, 0x1C, 0xFF, 0x85}, false},
      {"empty", {}, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DescriptorUsesReportIds(c.descriptor), c.numbered) << c.name;
  }
  EXPECT_EQ(DescriptorPathOf("/dev/hidraw12"),
            "/sys/class/hidraw/hidraw12/device/report_descriptor");
}

}  // namespace
}  // namespace kst::hid

// The library itself, on a machine without the keyboard: it starts, counts
// nothing, sends nothing, keeps a standing read waiting and stops cleanly.

namespace kst::hid {
namespace {

TEST(HidServiceTest, StartsAndStopsWithoutAKeyboard) {
  const ServiceBinding binding = BindServiceLibrary(KST_BIN_DIR, kServiceLibraryName);
  ASSERT_TRUE(binding.ok) << binding.message;
  const TolvaneApi& api = binding.api;
  const DeviceSelector ctrl = ChannelSelector(Channel::Ctrl);
  if (api.RequestGetDeviceCount(&ctrl, 0, 0, 0, 0) != 0) {
    GTEST_SKIP() << "a keyboard is plugged in";
  }
  const std::uint8_t report[64] = {0x04, 0x01, 0x00, 0x01};
  EXPECT_EQ(api.RequestWriteOne(&ctrl, nullptr, 0, report, 64, 0, nullptr), 0);
  EXPECT_EQ(api.RequestGetDeviceCount(nullptr, 0, 0, 0, 0), 0);
  std::uint32_t unit = 0;
  auto callback = +[](const TolvaneNotification*) { return 1; };
  ASSERT_EQ(api.RequestAsyncRead(&ctrl, callback, kTagCtrl, 0, &unit), 1);
  EXPECT_NE(unit, 0u);
  EXPECT_EQ(api.DeleteRequestFromUnitId(unit), 1);
  EXPECT_EQ(api.DeleteRequestFromUnitId(unit), 0);
  ASSERT_EQ(api.RequestAsyncRead(&ctrl, callback, kTagCtrl, 0, &unit), 1);
  EXPECT_EQ(api.End(), 1);  // joins the reader still registered
  EXPECT_EQ(api.Init(0), 1);
  EXPECT_EQ(api.End(), 1);
}

}  // namespace
}  // namespace kst::hid
