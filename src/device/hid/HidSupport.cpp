#include "device/hid/HidSupport.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

namespace kst::hid {

bool SelectorMatches(const DeviceSelector& selector, const InterfaceInfo& info) {
  const std::uint32_t mask = selector.matchMask;
  if ((mask & kMatchVendor) && selector.vendorId != info.vendorId) return false;
  if ((mask & kMatchProduct) && selector.productId != info.productId) return false;
  if ((mask & kMatchUsagePage) && selector.usagePage != info.usagePage) return false;
  if ((mask & kMatchUsage) && selector.usage != info.usage) return false;
  return true;
}

int CountMatching(std::span<const InterfaceInfo> interfaces, const DeviceSelector& selector) {
  std::set<std::string> paths;
  for (const InterfaceInfo& info : interfaces) {
    if (info.accessible && SelectorMatches(selector, info)) paths.insert(info.path);
  }
  return static_cast<int>(paths.size());
}

std::string FirstMatchingPath(std::span<const InterfaceInfo> interfaces,
                              const DeviceSelector& selector) {
  for (const InterfaceInfo& info : interfaces) {
    if (info.accessible && SelectorMatches(selector, info)) return info.path;
  }
  return {};
}

std::vector<std::string> InaccessiblePaths(std::span<const InterfaceInfo> interfaces,
                                           std::uint16_t vendorId, std::uint16_t productId) {
  std::vector<std::string> out;
  for (const InterfaceInfo& info : interfaces) {
    if (info.accessible || info.vendorId != vendorId || info.productId != productId) continue;
    if (std::find(out.begin(), out.end(), info.path) == out.end()) out.push_back(info.path);
  }
  return out;
}

bool DescriptorUsesReportIds(std::span<const std::uint8_t> descriptor) {
  constexpr std::uint8_t kReportIdItem = 0x84;  // global item, tag 8, size bits cleared
  constexpr std::uint8_t kLongItem = 0xFE;
  std::size_t at = 0;
  while (at < descriptor.size()) {
    const std::uint8_t prefix = descriptor[at];
    if (prefix == kLongItem) {
      // Long item: prefix, data size, long tag, data.
      if (at + 1 >= descriptor.size()) return false;
      at += 3 + descriptor[at + 1];
      continue;
    }
    const std::size_t sizeCode = prefix & 0x03;
    const std::size_t size = sizeCode == 3 ? 4 : sizeCode;
    if ((prefix & 0xFC) == kReportIdItem && size > 0 && at + 1 + size <= descriptor.size()) {
      return true;
    }
    at += 1 + size;
  }
  return false;
}

std::vector<std::uint8_t> FrameOutputReport(std::span<const std::uint8_t> report, bool numbered) {
  std::vector<std::uint8_t> out;
  out.reserve(report.size() + 1);
  if (!numbered) out.push_back(0x00);
  out.insert(out.end(), report.begin(), report.end());
  return out;
}

std::vector<std::uint8_t> PadReport(std::span<const std::uint8_t> data, std::size_t size) {
  std::vector<std::uint8_t> out(size, 0);
  std::copy_n(data.begin(), std::min(size, data.size()), out.begin());
  return out;
}

std::string DescriptorPathOf(const std::string& hidrawPath, const std::string& sysfsRoot) {
  const std::size_t slash = hidrawPath.find_last_of('/');
  const std::string node = slash == std::string::npos ? hidrawPath : hidrawPath.substr(slash + 1);
  return sysfsRoot + "/class/hidraw/" + node + "/device/report_descriptor";
}

bool UeventNamesDevice(std::string_view uevent, std::uint16_t vendorId, std::uint16_t productId) {
  constexpr std::string_view kKey = "HID_ID=";
  while (!uevent.empty()) {
    const std::size_t end = uevent.find('\n');
    std::string_view line = uevent.substr(0, end);
    uevent = end == std::string_view::npos ? std::string_view{} : uevent.substr(end + 1);
    if (!line.starts_with(kKey)) continue;
    line.remove_prefix(kKey.size());
    // bus:vendor:product, each a hexadecimal number.
    unsigned long fields[3] = {};
    for (unsigned long& field : fields) {
      const std::size_t colon = line.find(':');
      const std::string part(line.substr(0, colon));
      if (part.empty() || part.size() > 8 ||
          part.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        return false;
      }
      field = std::stoul(part, nullptr, 16);
      line = colon == std::string_view::npos ? std::string_view{} : line.substr(colon + 1);
    }
    return fields[1] == vendorId && fields[2] == productId;
  }
  return false;
}

std::vector<HidrawNode> ScanHidrawNodes(const std::string& sysfsRoot, std::uint16_t vendorId,
                                        std::uint16_t productId) {
  constexpr std::size_t kMaxUevent = 4096;
  std::vector<HidrawNode> nodes;
  std::error_code ec;
  std::filesystem::directory_iterator it(sysfsRoot + "/class/hidraw", ec);
  for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
    HidrawNode node;
    node.name = it->path().filename().string();
    std::ifstream in(it->path() / "device" / "uevent", std::ios::binary);
    std::string text(kMaxUevent, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    node.matches = UeventNamesDevice(text, vendorId, productId);
    nodes.push_back(std::move(node));
  }
  std::sort(nodes.begin(), nodes.end(),
            [](const HidrawNode& a, const HidrawNode& b) { return a.name < b.name; });
  return nodes;
}

std::string PermissionNotice(const std::vector<std::string>& paths) {
  std::string list;
  for (const std::string& p : paths) list += (list.empty() ? "" : ", ") + p;
  return "kestrune: the keyboard is plugged in but this user may not open it (" + list +
         "). Install the udev rule " + std::string(kUdevRuleFileName) +
         " (cmake --install puts it into the udev rules folder, or copy resources/udev/" +
         kUdevRuleFileName +
         " to "
         "/etc/udev/rules.d/), run 'sudo udevadm control --reload-rules && sudo udevadm "
         "trigger', then plug the keyboard in again.";
}

}  // namespace kst::hid
