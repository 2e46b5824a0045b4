#include "foundation/Language.h"

#include <QLocale>

#include <algorithm>
#include <utility>

namespace kst {

namespace {

constexpr std::array<std::uint16_t, 10> kSupported = {2052, 1033, 1036, 3082, 1046,
                                                      1043, 1057, 1042, 1028, 0};
constexpr int kSupportedSearchCount = 9;  // the end mark is never a match

struct Substitution {
  std::uint16_t from;
  std::uint16_t to;
};

// Searched in order, first match wins. Every Spanish identifier goes to 3082,
// the Spanish the program has a language file for; the other replacements that
// are not supported (1040, 1053, 1031) end as the Chinese fallback.
constexpr Substitution kSubstitutions[] = {
    {3076, 1033},  {4100, 1028},  {1034, 3082},  {2058, 3082},  {3082, 3082},  {4106, 3082},
    {5130, 3082},  {6154, 3082},  {7178, 3082},  {8202, 3082},  {9226, 3082},  {10250, 3082},
    {11274, 3082}, {12298, 3082}, {13322, 3082}, {14346, 3082}, {15370, 3082}, {16394, 3082},
    {17418, 3082}, {18442, 3082}, {19466, 3082}, {20490, 3082}, {2060, 1036},  {3084, 1036},
    {4108, 1036},  {5132, 1036},  {2064, 1040},  {2070, 1046},  {2067, 1043},  {2077, 1053},
    {2057, 1033},  {3081, 1033},  {4105, 1033},  {5129, 1033},  {6153, 1033},  {7177, 1033},
    {8201, 1033},  {9225, 1033},  {10249, 1033}, {11273, 1033}, {2055, 1031},  {3079, 1031},
    {4103, 1031},  {5127, 1031},
};

struct LocaleId {
  const char* name;  // language_TERRITORY, or a language alone as the fallback for it
  std::uint16_t id;
};

// Windows language identifiers of the locales the language choice knows.
constexpr LocaleId kLocaleIds[] = {
    {"zh_CN", 2052},
    {"zh_SG", 4100},
    {"zh_TW", 1028},
    {"zh_HK", 3076},
    {"zh_MO", 5124},
    {"en_US", 1033},
    {"en_GB", 2057},
    {"en_AU", 3081},
    {"en_CA", 4105},
    {"en_NZ", 5129},
    {"en_IE", 6153},
    {"en_ZA", 7177},
    {"en_JM", 8201},
    {"en_029", 9225},
    {"en_BZ", 10249},
    {"en_TT", 11273},
    {"fr_FR", 1036},
    {"fr_BE", 2060},
    {"fr_CA", 3084},
    {"fr_CH", 4108},
    {"fr_LU", 5132},
    {"es_ES", 3082},
    {"es_MX", 2058},
    {"es_GT", 4106},
    {"es_CR", 5130},
    {"es_PA", 6154},
    {"es_DO", 7178},
    {"es_VE", 8202},
    {"es_CO", 9226},
    {"es_PE", 10250},
    {"es_AR", 11274},
    {"es_EC", 12298},
    {"es_CL", 13322},
    {"es_UY", 14346},
    {"es_PY", 15370},
    {"es_BO", 16394},
    {"es_SV", 17418},
    {"es_HN", 18442},
    {"es_NI", 19466},
    {"es_PR", 20490},
    {"pt_BR", 1046},
    {"pt_PT", 2070},
    {"nl_NL", 1043},
    {"nl_BE", 2067},
    {"id_ID", 1057},
    {"ko_KR", 1042},
    {"it_IT", 1040},
    {"it_CH", 2064},
    {"sv_SE", 1053},
    {"sv_FI", 2077},
    {"de_DE", 1031},
    {"de_CH", 2055},
    {"de_AT", 3079},
    {"de_LU", 4103},
    {"de_LI", 5127},
    // A known language in another territory.
    {"zh", 2052},
    {"en", 1033},
    {"fr", 1036},
    {"es", 3082},
    {"pt", 1046},
    {"nl", 1043},
    {"id", 1057},
    {"ko", 1042},
    {"it", 1040},
    {"sv", 1053},
    {"de", 1031},
};

constexpr std::uint16_t kUnknownLocaleId = 1033;

std::uint16_t FindLocale(const QString& name) {
  for (const LocaleId& entry : kLocaleIds) {
    if (name == QLatin1StringView(entry.name)) return entry.id;
  }
  return 0;
}

// Value of a number's leading decimal digits after optional blanks; 0 when
// there are none. Saturates instead of overflowing.
int LeadingNumber(const QString& text) {
  long long value = 0;
  bool any = false;
  for (const QChar c : text) {
    if (c < QLatin1Char('0') || c > QLatin1Char('9')) break;
    any = true;
    value = std::min<long long>(value * 10 + (c.unicode() - '0'), 1'000'000'000);
  }
  return any ? static_cast<int>(value) : 0;
}

QString WithTrailingSeparator(QString folder) {
  if (!folder.isEmpty() && !folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
  return folder;
}

}  // namespace

int ClampLanguageIndex(int index) { return index >= 10 || index < 0 ? 0 : index; }

std::span<const std::uint16_t, 10> SupportedLanguageIds() { return kSupported; }

std::uint16_t SubstituteLanguageId(std::uint16_t systemId) {
  for (const Substitution& pair : kSubstitutions) {
    if (pair.from == systemId) return pair.to;
  }
  return systemId;
}

int SupportedLanguageIndex(std::uint16_t id) {
  for (int i = 0; i < kSupportedSearchCount; ++i) {
    if (kSupported[static_cast<size_t>(i)] == id) return i;
  }
  return -1;
}

std::uint16_t LanguageIdFromLocaleName(const QString& localeName) {
  // Accepts "es_MX", "es-MX", "zh_Hant_TW", "de_AT.UTF-8", "sr_RS@latin".
  QString name = localeName;
  const qsizetype cut = name.indexOf(QLatin1Char('.'));
  if (cut >= 0) name.truncate(cut);
  if (const qsizetype at = name.indexOf(QLatin1Char('@')); at >= 0) name.truncate(at);
  name.replace(QLatin1Char('-'), QLatin1Char('_'));
  const QStringList parts = name.split(QLatin1Char('_'), Qt::SkipEmptyParts);
  if (parts.isEmpty()) return kUnknownLocaleId;

  const QString language = parts.front().toLower();
  QString script;
  QString territory;
  for (qsizetype i = 1; i < parts.size(); ++i) {
    if (parts[i].size() == 4 && script.isEmpty() && territory.isEmpty()) {
      script = parts[i].toLower();
    } else if (territory.isEmpty()) {
      territory = parts[i].toUpper();
    }
  }
  if (!territory.isEmpty()) {
    if (const std::uint16_t id = FindLocale(language + QLatin1Char('_') + territory)) return id;
  }
  if (language == QLatin1String("zh") && script == QLatin1String("hant")) return 1028;
  if (const std::uint16_t id = FindLocale(language)) return id;
  return kUnknownLocaleId;
}

std::uint16_t SystemDefaultLanguageId() {
  const QLocale locale = QLocale::system();
  QString name = QLocale::languageToCode(locale.language());
  if (locale.script() != QLocale::AnyScript) {
    name += QLatin1Char('_') + QLocale::scriptToCode(locale.script());
  }
  if (locale.territory() != QLocale::AnyTerritory) {
    name += QLatin1Char('_') + QLocale::territoryToCode(locale.territory());
  }
  return LanguageIdFromLocaleName(name);
}

Language::Language(Registry& registry, QString programFolder,
                   std::function<std::uint16_t()> systemDefaultLanguage)
    : registry_(registry),
      programFolder_(WithTrailingSeparator(std::move(programFolder))),
      systemDefaultLanguage_(std::move(systemDefaultLanguage)) {
  for (size_t i = 0; i < kSupported.size(); ++i) {
    languageFiles_[i] =
        programFolder_ + QString::asprintf("Lang%04X.ini", static_cast<unsigned>(kSupported[i]));
  }
  skinLanguageFile_ = programFolder_ + QStringLiteral("Skins/language.ini");
  for (size_t i = 0; i < slots_.size(); ++i) {
    const TextSlotInfo& info = TextSlotInfos()[i];
    slots_[i] = Slot{QString::fromUtf8(info.builtIn), true};
  }
}

std::uint16_t Language::ChooseLanguageId() const {
  const std::uint16_t systemId = systemDefaultLanguage_ ? systemDefaultLanguage_() : 0;
  const std::uint16_t id = SubstituteLanguageId(systemId);
  return SupportedLanguageIndex(id) >= 0 ? id : kFallbackLanguageId;
}

std::uint16_t Language::GetLanguageId() {
  const QString key = QString::fromLatin1(kLanguageRegistryKey);
  const QString name = QString::fromLatin1(kLanguageRegistryValue);
  std::optional<std::uint32_t> stored = registry_.GetDword(key, name);
  if (!stored) {
    // Missing, or of another type: replaced by a DWORD 0, then chosen below.
    registry_.SetDword(key, name, 0);
    stored = 0;
  }
  // A stored choice stays, even an unsupported one; the identifier is its low word.
  if (*stored != 0) return static_cast<std::uint16_t>(*stored & 0xFFFF);
  const std::uint16_t chosen = ChooseLanguageId();
  registry_.SetDword(key, name, chosen);
  return chosen;
}

void Language::SetLanguageId(std::uint16_t id) {
  registry_.SetDword(QString::fromLatin1(kLanguageRegistryKey),
                     QString::fromLatin1(kLanguageRegistryValue), id);
}

int Language::GetLanguageIndex() {
  const int index = SupportedLanguageIndex(GetLanguageId());
  return index < 0 ? 0 : index;
}

QString Language::LanguageFilePath(int languageIndex) const {
  // Indexes above 9 read as 0, as do negative ones.
  return languageFiles_[static_cast<size_t>(ClampLanguageIndex(languageIndex))];
}

QString Language::SkinLanguageFilePath() const { return skinLanguageFile_; }

QString Language::LoadLangText(const QString& key, int languageIndex) const {
  return cache_.Read(LanguageFilePath(languageIndex), QStringLiteral("TEXT"), key,
                     QStringLiteral("#Error"), kLangTextCapacity);
}

QString Language::LoadLangText(const QString& key) { return LoadLangText(key, GetLanguageIndex()); }

int Language::SkinLanguageValue() const {
  const std::optional<QString> value =
      cache_.Lookup(skinLanguageFile_, QStringLiteral("LANGUAGE"), QStringLiteral("language"));
  return value ? LeadingNumber(CutToCapacity(*value, kLangTextCapacity)) : 0;
}

QString Language::LoadSkinText(const QString& key) const {
  const QString section =
      SkinLanguageValue() == 1 ? QStringLiteral("ENGINSH") : QStringLiteral("CHINESE");
  return cache_.Read(skinLanguageFile_, section, key, QStringLiteral(" "), kLangTextCapacity);
}

QString Language::LoadChineseSkinText(const QString& key) const {
  return cache_.Read(skinLanguageFile_, QStringLiteral("CHINESE"), key, QStringLiteral(" "),
                     kLangTextCapacity);
}

void Language::ReloadSkinTexts() {
  std::array<QString, kTextSlotCount> texts;
  for (size_t i = 0; i < texts.size(); ++i) {
    texts[i] = LoadSkinText(QString::fromLatin1(TextSlotInfos()[i].skinKey));
  }
  std::lock_guard lock(slotsMutex_);
  for (size_t i = 0; i < texts.size(); ++i) {
    slots_[i] = Slot{CutToCapacity(texts[i], kTextSlotMaxChars + 1), false};
  }
}

QString Language::SlotText(TextSlot slot) const {
  const int index = static_cast<int>(slot);
  if (index < 0 || index >= kTextSlotCount) return {};
  std::lock_guard lock(slotsMutex_);
  return slots_[static_cast<size_t>(index)].text;
}

void Language::SetSlotText(TextSlot slot, const QString& text) {
  const int index = static_cast<int>(slot);
  if (index < 0 || index >= kTextSlotCount) return;
  std::lock_guard lock(slotsMutex_);
  slots_[static_cast<size_t>(index)] = Slot{CutToCapacity(text, kTextSlotMaxChars + 1), false};
}

QString Language::ShowSlot(TextSlot slot, int languageIndex) const {
  const int index = static_cast<int>(slot);
  if (index < 0 || index >= kTextSlotCount) return {};
  Slot current;
  {
    std::lock_guard lock(slotsMutex_);
    current = slots_[static_cast<size_t>(index)];
  }
  if (!TextSlotInfoOf(slot).keySlot) return current.text;
  if (current.builtIn) return LoadLangText(current.text, languageIndex);
  const std::optional<QString> text =
      cache_.Lookup(LanguageFilePath(languageIndex), QStringLiteral("TEXT"), current.text);
  return text ? CutToCapacity(*text, kLangTextCapacity) : current.text;
}

}  // namespace kst
