#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>

#include "foundation/IniFile.h"
#include "foundation/TextTable.h"
#include "platform/Registry.h"

namespace kst {

// Window message by which windows re-read their captions: wParam must be
// kLanguageWParam ("LANG"), lParam is the language index (0..9).
inline constexpr std::uint32_t UM_LANGUAGE = 0x5041;
inline constexpr std::uintptr_t kLanguageWParam = 0x4C414E47;

// Index as a sender of UM_LANGUAGE passes it on: >= 10 or < 0 -> 0.
int ClampLanguageIndex(int index);

inline constexpr const char* kLanguageRegistryKey = "Software\\Z-ORMIT_M350RGB";
inline constexpr const char* kLanguageRegistryValue = "dwLanguageId";
inline constexpr std::uint16_t kFallbackLanguageId = 2052;
// Buffer of a language-file lookup in characters, terminator included.
inline constexpr int kLangTextCapacity = 260;
inline constexpr const char* kMissingLangText = "#Error";
inline constexpr const char* kMissingSkinText = " ";

// The supported languages by index; entry 9 is the end mark 0.
std::span<const std::uint16_t, 10> SupportedLanguageIds();
// The identifier a system language is replaced by before the supported check
// (itself when no pair matches).
std::uint16_t SubstituteLanguageId(std::uint16_t systemId);
// Index 0..8 of `id` among the supported languages, -1 when not supported.
int SupportedLanguageIndex(std::uint16_t id);

// QLocale::system() as a Windows language identifier; 1033 when unknown.
std::uint16_t SystemDefaultLanguageId();
// The Windows language identifier of a locale name such as "es_MX" or "de";
// 1033 when unknown.
std::uint16_t LanguageIdFromLocaleName(const QString& localeName);

// Language choice, text lookup and the text table. Lookups are not cached in
// meaning: the registry value and the language files are re-checked on every
// call (cheaply, by file stamp). Thread-safe.
class Language {
 public:
  Language(Registry& registry, QString programFolder,
           std::function<std::uint16_t()> systemDefaultLanguage = SystemDefaultLanguageId);

  std::uint16_t GetLanguageId();  // first-use choice stored in the registry
  void SetLanguageId(std::uint16_t id);
  int GetLanguageIndex();  // 0..8

  QString LoadLangText(const QString& key, int languageIndex) const;  // "#Error" when missing
  QString LoadLangText(const QString& key);                           // with GetLanguageIndex()
  QString LoadSkinText(const QString& key) const;                     // " " when missing
  // `key` from the "CHINESE" section regardless of the language value.
  QString LoadChineseSkinText(const QString& key) const;
  // Leading-digit value of "LANGUAGE"/"language" in the skin language file (0 when missing).
  int SkinLanguageValue() const;
  void ReloadSkinTexts();

  QString SlotText(TextSlot slot) const;                 // current raw content of the slot
  void SetSlotText(TextSlot slot, const QString& text);  // truncated to 107 characters
  // A display slot shows its content. A key slot holding its built-in key
  // shows LoadLangText(content) ("#Error" when missing). A key slot refilled
  // by ReloadSkinTexts or SetSlotText shows the language file's text when its
  // content is a key there, and otherwise the content itself (the skin
  // language file may hold keys or display texts).
  QString ShowSlot(TextSlot slot, int languageIndex) const;

  QString LanguageFilePath(int languageIndex) const;
  QString SkinLanguageFilePath() const;

 private:
  std::uint16_t ChooseLanguageId() const;

  Registry& registry_;
  QString programFolder_;  // with a trailing separator
  std::function<std::uint16_t()> systemDefaultLanguage_;
  std::array<QString, 10> languageFiles_;
  QString skinLanguageFile_;
  IniCache cache_;

  mutable std::mutex slotsMutex_;
  struct Slot {
    QString text;
    bool builtIn = true;  // still the built-in content
  };
  std::array<Slot, kTextSlotCount> slots_;
};

}  // namespace kst
