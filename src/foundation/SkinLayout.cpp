#include "foundation/SkinLayout.h"

#include <QDir>
#include <QFileInfo>

#include <climits>

#include "foundation/IniFile.h"
#include "foundation/Language.h"
#include "platform/PrivateFolder.h"
#include "platform/Registry.h"

namespace kst {

namespace {

QString WithSeparator(QString folder) {
  if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
  return folder;
}

QString Latin(const char* text) { return QString::fromLatin1(text); }

}  // namespace

QString SkinFolder(const AppPaths& paths) {
  return WithSeparator(WithSeparator(paths.programFolder) + Latin(kSkinFolderName));
}
std::optional<QString> PathInsideFolder(const QString& folder, const QString& name) {
  if (folder.isEmpty() || name.isEmpty() || QDir::isAbsolutePath(name)) return std::nullopt;
  for (QStringView step : QStringView(name).split(QLatin1Char('/'))) {
    if (step == QLatin1String("..")) return std::nullopt;
  }
  const QString path = WithSeparator(folder) + name;
  const QString canonical = QFileInfo(path).canonicalFilePath();
  if (canonical.isEmpty()) return path;  // missing: opening it fails as it should
  const QString canonicalFolder = QFileInfo(folder).canonicalFilePath();
  if (canonicalFolder.isEmpty() || !canonical.startsWith(WithSeparator(canonicalFolder))) {
    return std::nullopt;
  }
  return canonical;
}

QString SkinFile(const AppPaths& paths, const QString& fileName) {
  return SkinFolder(paths) + fileName;
}
QString MainSkinFile(const AppPaths& paths) { return SkinFile(paths, Latin(kMainSkinFileName)); }
QString CompositeSkinFile(const AppPaths& paths) {
  return SkinFile(paths, Latin(kCompositeSkinFileName));
}
QString ProfileSkinFile(const AppPaths& paths) {
  return SkinFile(paths, Latin(kProfileSkinFileName));
}
QString SkinLanguageFile(const AppPaths& paths) {
  return SkinFile(paths, Latin(kSkinLanguageFileName));
}
QString ModeTemplateFile(const AppPaths& paths) {
  return QStringLiteral("%1%2%3%4")
      .arg(SkinFolder(paths), Latin(kModeFilePrefix))
      .arg(kModeTemplateNumber)
      .arg(Latin(kModeFileSuffix));
}
QString HelpFolder(const AppPaths& paths) {
  return WithSeparator(WithSeparator(paths.programFolder) + Latin(kHelpFolderName));
}
QString HelpPageFile(const AppPaths& paths) { return HelpFolder(paths) + Latin(kHelpPageName); }
QString CompanionProgramFile(const AppPaths& paths) {
  return WithSeparator(paths.programFolder) + Latin(kCompanionProgramName);
}

QString WskbFile(const AppPaths& paths) {
  return WithSeparator(paths.dataFolder) + Latin(kWskbFileName);
}
QString ModeFile(const AppPaths& paths, int profile) {
  return QStringLiteral("%1%2%3")
      .arg(WithSeparator(paths.dataFolder) + Latin(kModeFilePrefix))
      .arg(profile)
      .arg(Latin(kModeFileSuffix));
}
int EnsureDataFolder(const AppPaths& paths) { return MakePrivateFolder(paths.dataFolder); }

// ---- AppProfile ------------------------------------------------------------

AppProfile::AppProfile(Registry& registry) : registry_(registry) {}

int AppProfile::GetFlip() const {
  const auto value = registry_.GetString(Latin(kAppProfileKey), Latin(kFlipValueName));
  return value && *value == QLatin1String("1") ? 1 : 0;
}

bool AppProfile::SetFlip(int value) {
  const QString text = value == 1 ? QStringLiteral("1") : QStringLiteral("0");
  return registry_.SetString(Latin(kAppProfileKey), Latin(kFlipValueName), text);
}

int AppProfile::GetRecordDelay(Language& language) const {
  const auto value =
      registry_.GetString(Latin(kAppProfileKey), language.LoadLangText(Latin(kRecordDelayTextKey)));
  return value && *value == QLatin1String("1") ? 1 : 0;
}

bool AppProfile::SetRecordDelay(Language& language, int value) {
  return registry_.SetString(Latin(kAppProfileKey),
                             language.LoadLangText(Latin(kRecordDelayTextKey)),
                             value == 1 ? QStringLiteral("1") : QStringLiteral("0"));
}

QString AppProfile::ProfileValueName(int number) {
  return Latin(kProfileValuePrefix) + QStringLiteral("%1").arg(number, 2, 10, QLatin1Char('0'));
}

std::optional<QString> AppProfile::GetProfileValue(int number) const {
  return registry_.GetString(Latin(kAppProfileKey), ProfileValueName(number));
}

bool AppProfile::SetProfileValue(int number, const QString& value) {
  return registry_.SetString(Latin(kAppProfileKey), ProfileValueName(number), value);
}

// ---- Rectangles --------------------------------------------------------------

namespace {

bool IsScanfSpace(QChar c) {
  return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r';
}

// One "%d": blanks, optional sign, at least one digit. Advances `pos` past
// the number; nullopt (pos unchanged) when there is no number.
std::optional<int> ScanInt(const QString& text, qsizetype& pos) {
  qsizetype p = pos;
  while (p < text.size() && IsScanfSpace(text[p])) ++p;
  bool negative = false;
  if (p < text.size() && (text[p] == u'+' || text[p] == u'-')) {
    negative = text[p] == u'-';
    ++p;
  }
  const qsizetype digitsStart = p;
  long long value = 0;
  while (p < text.size() && text[p] >= u'0' && text[p] <= u'9') {
    if (value <= static_cast<long long>(INT_MAX) + 1)
      value = value * 10 + (text[p].unicode() - u'0');
    ++p;
  }
  if (p == digitsStart) return std::nullopt;
  pos = p;
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

}  // namespace

SkinRect ParseSkinRect(const QString& text) {
  int fields[4] = {0, 0, 0, 0};
  qsizetype pos = 0;
  for (int i = 0; i < 4; ++i) {
    if (i > 0) {
      if (pos >= text.size() || text[pos] != u',') break;
      ++pos;
    }
    const auto value = ScanInt(text, pos);
    if (!value) break;
    fields[i] = *value;
  }
  return SkinRect{fields[0], fields[1], fields[2], fields[3]};
}

SkinRect ReadSkinRect(const QString& file, const QString& section, const QString& key) {
  return ParseSkinRect(
      ReadProfileString(file, section, key, Latin(kDefaultSkinRect), kSkinValueCapacity));
}

}  // namespace kst
