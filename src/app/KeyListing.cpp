#include "app/KeyListing.h"

#include <array>

#include "foundation/KeyCodeTable.h"
#include "foundation/Language.h"

namespace kst {
namespace {

QString Hex(unsigned value, int digits) {
  return QStringLiteral("0x") +
         QStringLiteral("%1").arg(value, digits, 16, QLatin1Char('0')).toUpper();
}

}  // namespace

QString LanguageName(std::uint16_t languageId) {
  struct Entry {
    std::uint16_t id;
    const char* name;
  };
  static constexpr std::array<Entry, 9> kNames = {{
      {2052, "Chinese (Simplified)"},
      {1033, "English (United States)"},
      {1036, "French"},
      {3082, "Spanish"},
      {1046, "Portuguese (Brazil)"},
      {1043, "Dutch"},
      {1057, "Indonesian"},
      {1042, "Korean"},
      {1028, "Chinese (Traditional)"},
  }};
  for (const Entry& e : kNames) {
    if (e.id == languageId) return QString::fromLatin1(e.name);
  }
  return QStringLiteral("unsupported language");
}

void WriteLanguageLine(QTextStream& out, Language& language) {
  const std::uint16_t id = language.GetLanguageId();
  out << "Language " << Hex(id, 4) << ' ' << LanguageName(id) << '\n';
}

void WriteKeyListing(QTextStream& out, Language& language) {
  const auto& table = KeyCodeTable();
  for (int row = 0; row < kKeyTableRows; ++row) {
    const KeyIndex key = KeyIndexFromRow(row);
    out << Hex(key, 3) << ' ' << Hex(SlotFromKeyIndex(key), 3) << ' '
        << Hex(table[row].usageCode, 2) << ' ' << KeyNameFromKeyIndex(key, language) << '\n';
  }
  out.flush();
}

}  // namespace kst
