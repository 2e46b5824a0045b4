#pragma once

// The pure parts of the real keyboard's service library: which HID
// interfaces a selector picks, how an output report is framed for hidapi,
// and what a report descriptor says about report ids. No hidapi here, so
// they can be tested without a keyboard.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "device/TolvaneApi.h"

namespace kst::hid {

// Match-mask bits of a DeviceSelector.
inline constexpr std::uint32_t kMatchVendor = 0x1;
inline constexpr std::uint32_t kMatchProduct = 0x2;
inline constexpr std::uint32_t kMatchUsagePage = 0x4;
inline constexpr std::uint32_t kMatchUsage = 0x8;

// One HID interface (top-level collection) of a present device.
struct InterfaceInfo {
  std::string path;  // /dev/hidrawN
  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;
  std::uint16_t usagePage = 0;
  std::uint16_t usage = 0;
  bool accessible = false;  // the user may read and write the node
  int openError = 0;        // errno of a failed open; 0 when it opens
};

// File name of the udev rule the project ships (resources/udev), which lets
// the user at the seat open the keyboard's nodes.
inline constexpr const char* kUdevRuleFileName = "70-z-ormit-m350rgb.rules";

// True when every field the selector's mask names equals the interface's.
bool SelectorMatches(const DeviceSelector& selector, const InterfaceInfo& info);

// Number of distinct nodes the selector picks among the accessible ones.
int CountMatching(std::span<const InterfaceInfo> interfaces, const DeviceSelector& selector);

// Path of the first accessible node the selector picks; empty when none.
std::string FirstMatchingPath(std::span<const InterfaceInfo> interfaces,
                              const DeviceSelector& selector);

// Nodes that belong to the keyboard but that this user cannot open.
std::vector<std::string> InaccessiblePaths(std::span<const InterfaceInfo> interfaces,
                                           std::uint16_t vendorId, std::uint16_t productId);

// True when the descriptor declares a Report ID item, so every report on the
// wire begins with its id. Items are walked with bounds checks; a truncated
// descriptor is read as far as it goes.
bool DescriptorUsesReportIds(std::span<const std::uint8_t> descriptor);

// Bytes of a numbered report as hidapi expects them for hid_write: the
// report, whose first byte is its id, unchanged; an unnumbered report gets
// the 0 id byte in front. This is the only place the report-id byte is made.
std::vector<std::uint8_t> FrameOutputReport(std::span<const std::uint8_t> report, bool numbered);

// The command channel's reports are exactly 64 bytes: the first 64 bytes of
// data, zero-padded.
std::vector<std::uint8_t> PadReport(std::span<const std::uint8_t> data, std::size_t size);

// sysfs file holding the report descriptor of a hidraw node; sysfsRoot is
// the mount point of sysfs.
std::string DescriptorPathOf(const std::string& hidrawPath, const std::string& sysfsRoot = "/sys");

// True when a hidraw node's device uevent text names the vendor and product
// in its line "HID_ID=<bus>:<vendor>:<product>" (hexadecimal, any case).
bool UeventNamesDevice(std::string_view uevent, std::uint16_t vendorId, std::uint16_t productId);

// One hidraw node as sysfs shows it.
struct HidrawNode {
  std::string name;      // "hidrawN"; the node is /dev/<name>
  bool matches = false;  // its device has the vendor and product asked for
};

// Every node under <sysfsRoot>/class/hidraw, sorted by name, each with
// whether it belongs to the vendor and product. A missing folder gives none;
// each uevent file is read up to 4096 bytes.
std::vector<HidrawNode> ScanHidrawNodes(const std::string& sysfsRoot, std::uint16_t vendorId,
                                        std::uint16_t productId);

// The one-time notice for a keyboard this user may not open, with the fix.
std::string PermissionNotice(const std::vector<std::string>& paths);

}  // namespace kst::hid
