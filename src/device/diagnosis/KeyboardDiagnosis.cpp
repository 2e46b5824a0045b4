#include "device/diagnosis/KeyboardDiagnosis.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "device/CommandProtocol.h"
#include "device/DeviceChannels.h"
#include "device/DeviceLink.h"
#include "device/QuietDeviceHost.h"
#include "device/hid/HidSupport.h"
#include "foundation/DeviceIdentity.h"

namespace kst {
namespace {

// Most interfaces one keyboard can present; the library is asked for no more.
constexpr std::uint32_t kMaxNodeStates = 16;
constexpr const char* kUdevReload = "sudo udevadm control --reload-rules && sudo udevadm trigger";

struct CauseInfo {
  DiagnosisCause cause;
  int exitCode;
  const char* meaning;
};
constexpr std::array<CauseInfo, 5> kCauses = {{
    {DiagnosisCause::KeyboardAnswers, 0, "the keyboard answers"},
    {DiagnosisCause::NoServiceLibrary, 3, "the keyboard's service library cannot be loaded"},
    {DiagnosisCause::NoKeyboardInterfaces, 4, "no keyboard is plugged in"},
    {DiagnosisCause::NoPermission, 5,
     "the keyboard is plugged in but this user may not open it (udev rule)"},
    {DiagnosisCause::NoAnswer, 6, "the keyboard opens but does not answer"},
}};

const CauseInfo& InfoOf(DiagnosisCause cause) {
  for (const CauseInfo& info : kCauses) {
    if (info.cause == cause) return info;
  }
  return kCauses[1];
}

QString UserName(uid_t uid) {
  std::array<char, 1024> buffer{};
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
    return QString::fromLocal8Bit(found->pw_name);
  }
  return QString::number(uid);
}

QString GroupName(gid_t gid) {
  std::array<char, 1024> buffer{};
  group entry{};
  group* found = nullptr;
  if (getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
    return QString::fromLocal8Bit(found->gr_name);
  }
  return QString::number(gid);
}

// Mode and owners; left empty when the node cannot be seen.
void StatNode(HidrawNodeReport& node) {
  struct stat st {};
  const QByteArray path = QFile::encodeName(node.path);
  if (::stat(path.constData(), &st) != 0) return;
  node.mode = st.st_mode & 07777;
  node.owner = UserName(st.st_uid);
  node.group = GroupName(st.st_gid);
}

void SetOpenResult(HidrawNodeReport& node, int error) {
  node.opens = error == 0;
  node.error = error == 0 ? QString() : QString::fromLocal8Bit(std::strerror(error));
}

int OpenError(const QString& path) {
  const QByteArray bytes = QFile::encodeName(path);
  const int fd = ::open(bytes.constData(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return errno != 0 ? errno : EIO;
  ::close(fd);
  return 0;
}

// Every hidraw node sysfs shows, then the keyboard's interfaces the library
// names that sysfs does not (a library over another transport). Each node
// of the keyboard carries whether it opens.
std::vector<HidrawNodeReport> CollectNodes(const TolvaneApi* api, const QString& sysfsRoot,
                                           const QString& devRoot, std::vector<int>* openErrors) {
  std::vector<HidrawNodeReport> nodes;
  const auto add = [&](HidrawNodeReport node, int error) {
    StatNode(node);
    if (node.matches) SetOpenResult(node, error);
    if (openErrors != nullptr) openErrors->push_back(node.matches ? error : 0);
    nodes.push_back(std::move(node));
  };
  for (const hid::HidrawNode& found : hid::ScanHidrawNodes(
           QFile::encodeName(sysfsRoot).toStdString(), kKeyboardVendorId, kKeyboardProductId)) {
    HidrawNodeReport node;
    node.path = devRoot + QLatin1Char('/') + QString::fromStdString(found.name);
    node.matches = found.matches;
    add(node, node.matches ? OpenError(node.path) : 0);
  }
  if (api != nullptr && api->NodeStates != nullptr) {
    std::array<TolvaneNodeState, kMaxNodeStates> states{};
    const int present = api->NodeStates(states.data(), static_cast<std::uint32_t>(states.size()));
    const std::size_t filled = std::min<std::size_t>(std::max(present, 0), states.size());
    for (std::size_t i = 0; i < filled; ++i) {
      TolvaneNodeState& state = states[i];
      state.path[sizeof state.path - 1] = '\0';
      HidrawNodeReport node;
      node.path = QFile::decodeName(state.path);
      node.matches = true;
      const auto same = [&](const HidrawNodeReport& n) { return n.path == node.path; };
      if (node.path.isEmpty() || std::any_of(nodes.begin(), nodes.end(), same)) continue;
      add(node, state.openError);
    }
  }
  return nodes;
}

bool Refused(int error) { return error == EACCES || error == EPERM; }

bool AnyRefused(const std::vector<int>& errors) {
  return std::any_of(errors.begin(), errors.end(), Refused);
}

QString FindUdevRule(const QStringList& folders) {
  for (const QString& folder : folders) {
    const QString path = folder + QLatin1Char('/') + QLatin1String(hid::kUdevRuleFileName);
    if (QFileInfo::exists(path)) return path;
  }
  return {};
}

QString ReadSettingsOnce(const TolvaneApi& api, bool& answered) {
  answered = false;
  const DeviceSelector control = ChannelSelector(Channel::Ctrl);
  if (api.RequestGetDeviceCount(&control, 0, 0, 0, 0) <= 0) {
    return QStringLiteral("not tried: the service library finds no keyboard it can open");
  }
  QuietDeviceHost host;
  DeviceLink link(api, host);
  if (link.ArmChannels() < 0) return QStringLiteral("not tried: the service library is busy");
  std::array<std::uint8_t, kSettingsBlockBytes> settings{};
  const int result = ReadSettings(link, settings);
  link.Shutdown();
  if (result != kDeviceOk) return QStringLiteral("failed (result %1)").arg(result);
  answered = true;
  return QStringLiteral("answered: current profile %1, macro space %2 bytes")
      .arg(settings[kSettingsCurrentProfile] + 1)
      .arg(settings[kSettingsMacroSpace] * 128);
}

QString ModeText(std::uint32_t mode) {
  return QStringLiteral("%1").arg(mode, 4, 8, QLatin1Char('0'));
}

}  // namespace

int DiagnosisExitCode(DiagnosisCause cause) { return InfoOf(cause).exitCode; }

QStringList DiagnosisExitCodeLines() {
  QStringList lines;
  for (const CauseInfo& info : kCauses) {
    lines << QStringLiteral("%1  %2").arg(info.exitCode).arg(QLatin1String(info.meaning));
  }
  return lines;
}

DiagnosisReport DiagnoseKeyboard(const DiagnosisInputs& inputs) {
  DiagnosisReport report;
  report.serviceLibrary = QDir(inputs.executableFolder).filePath(inputs.serviceLibraryFile);
  ServiceBinding binding;
  if (inputs.load) {
    binding =
        inputs.load(std::filesystem::path(QFile::encodeName(inputs.executableFolder).toStdString()),
                    QFile::encodeName(inputs.serviceLibraryFile).toStdString());
  } else {
    binding.message = "no service library loader";
  }
  if (!binding.ok) report.serviceLibraryError = QString::fromStdString(binding.message);

  std::vector<int> openErrors;
  report.nodes = CollectNodes(binding.ok ? &binding.api : nullptr, inputs.sysfsRoot, inputs.devRoot,
                              &openErrors);
  report.udevRule = FindUdevRule(inputs.udevRuleFolders);
  report.udevRuleFound = !report.udevRule.isEmpty();
  report.udevRuleFix = UdevRuleFixCommand(inputs.executableFolder);

  bool answered = false;
  if (binding.ok && inputs.owner) {
    const KeyboardOwner& owner = *inputs.owner;
    answered = owner.connected.value_or(false);
    report.settingsRead =
        QStringLiteral("not made here: the running utility (process %1) holds the keyboard, %2")
            .arg(owner.pid)
            .arg(!owner.connected ? QStringLiteral("and did not say whether it answers")
                 : answered       ? QStringLiteral("and reads it")
                                  : QStringLiteral("and does not find it"));
    binding.api.End();
  } else if (binding.ok) {
    report.settingsRead = ReadSettingsOnce(binding.api, answered);
    binding.api.End();
  } else {
    report.settingsRead = QStringLiteral("not tried: no service library");
  }
  const bool anyKeyboardNode = std::any_of(report.nodes.begin(), report.nodes.end(),
                                           [](const HidrawNodeReport& n) { return n.matches; });
  if (!binding.ok) {
    report.cause = DiagnosisCause::NoServiceLibrary;
  } else if (answered) {
    report.cause = DiagnosisCause::KeyboardAnswers;
  } else if (AnyRefused(openErrors)) {
    report.cause = DiagnosisCause::NoPermission;
  } else if (!anyKeyboardNode &&
             (inputs.owner || report.settingsRead.startsWith(QLatin1String("not tried")))) {
    report.cause = DiagnosisCause::NoKeyboardInterfaces;
  } else {
    report.cause = DiagnosisCause::NoAnswer;
  }
  return report;
}

QStringList DiagnosisLines(const DiagnosisReport& report) {
  QStringList lines;
  lines << QStringLiteral("service library: %1 (%2)")
               .arg(report.serviceLibrary, report.serviceLibraryError.isEmpty()
                                               ? QStringLiteral("loaded")
                                               : report.serviceLibraryError);
  lines << QStringLiteral("hidraw nodes of the keyboard (%1:%2):")
               .arg(kKeyboardVendorId, 4, 16, QLatin1Char('0'))
               .arg(kKeyboardProductId, 4, 16, QLatin1Char('0'));
  int others = 0;
  for (const HidrawNodeReport& node : report.nodes) {
    if (!node.matches) {
      ++others;
      continue;
    }
    const QString owners = node.owner.isEmpty()
                               ? QStringLiteral("owner unknown")
                               : QStringLiteral("%1:%2").arg(node.owner, node.group);
    lines << QStringLiteral("  %1  mode %2  %3  %4")
                 .arg(node.path, ModeText(node.mode), owners,
                      node.opens ? QStringLiteral("opens")
                                 : QStringLiteral("does not open: %1").arg(node.error));
  }
  if (report.nodes.size() == static_cast<std::size_t>(others)) lines << QStringLiteral("  none");
  if (others > 0) lines << QStringLiteral("  (%1 hidraw nodes of other devices)").arg(others);
  lines
      << (report.udevRuleFound
              ? QStringLiteral("udev rule: %1").arg(report.udevRule)
              : QStringLiteral("udev rule: %1 missing").arg(QLatin1String(hid::kUdevRuleFileName)));
  lines << QStringLiteral("settings read: %1").arg(report.settingsRead);
  lines << QStringLiteral("result: %1 (exit code %2)")
               .arg(QLatin1String(InfoOf(report.cause).meaning))
               .arg(report.ExitCode());
  if (report.cause == DiagnosisCause::NoPermission || !report.udevRuleFound) {
    lines << QStringLiteral("fix: %1").arg(report.udevRuleFix);
    lines << QStringLiteral("     then plug the keyboard in again");
  }
  return lines;
}

DiagnosisCause NotFoundCause(const TolvaneApi& api, const QString& sysfsRoot,
                             const QString& devRoot) {
  std::vector<int> openErrors;
  CollectNodes(&api, sysfsRoot, devRoot, &openErrors);
  return AnyRefused(openErrors) ? DiagnosisCause::NoPermission
                                : DiagnosisCause::NoKeyboardInterfaces;
}

QString UdevRuleFixCommand(const QString& executableFolder) {
  const QString rule = QLatin1String(hid::kUdevRuleFileName);
  const QString reload = QLatin1String(kUdevReload);
  const QString prefix = QDir::cleanPath(executableFolder + QStringLiteral("/.."));
  QString copyFrom;
  if (!QFileInfo(prefix + QStringLiteral("/share/kestrune")).isDir()) {
    // The build tree: the rule is in the sources.
    copyFrom = QStringLiteral(KST_UDEV_RULE_SOURCE);
  } else {
    // Installed: where cmake --install put the rule for this prefix.
    QString folder = QStringLiteral(KST_UDEV_RULES_INSTALL_DIR);
    if (folder.isEmpty()) {
      folder = prefix == QLatin1String("/usr/local") ? QStringLiteral("/etc/udev/rules.d")
                                                     : prefix + QStringLiteral("/lib/udev/rules.d");
    }
    const QStringList read = {QStringLiteral("/etc/udev/rules.d"),
                              QStringLiteral("/usr/lib/udev/rules.d"),
                              QStringLiteral("/lib/udev/rules.d")};
    if (read.contains(QDir::cleanPath(folder))) return reload;
    copyFrom = folder;
  }
  return QStringLiteral("sudo cp %1/%2 /etc/udev/rules.d/ && %3").arg(copyFrom, rule, reload);
}

}  // namespace kst
