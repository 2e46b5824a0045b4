#include "ctl/CtlNames.h"

#include "foundation/BoardKeys.h"
#include "foundation/TextTable.h"
#include "store/MediaKeys.h"
#include "store/ProfileFormat.h"

namespace kst {

namespace {

bool PlainAscii(const char* text) {
  for (const char* c = text; *c != '\0'; ++c) {
    if (static_cast<unsigned char>(*c) > 0x7E || static_cast<unsigned char>(*c) < 0x21) {
      if (*c != ' ') return false;
    }
  }
  return *text != '\0';
}

// "IDS_KEYBOARD_UP" -> "up": the part after the prefix, lower case, hyphens.
QString NameFromTextKey(const char* textKey, const char* prefix) {
  QString name = QString::fromLatin1(textKey);
  const QString start = QString::fromLatin1(prefix);
  if (name.startsWith(start)) name = name.mid(start.size());
  return name.toLower().replace(QLatin1Char('_'), QLatin1Char('-'));
}

constexpr int kFunctionCount =
    static_cast<int>(TextSlot::FuncKeyDesc11) - static_cast<int>(TextSlot::FuncKeyDesc1) + 1;

}  // namespace

QString KeyCliName(KeyIndex key) {
  // Inverse of KeyIndexFromRow.
  const int row = key < 0x80 ? key : (key >= 0x100 && key < 0x180 ? key - 0x80 : -1);
  if (row < 0 || row >= kKeyTableRows) return {};
  const KeyRow& entry = KeyCodeTable()[static_cast<std::size_t>(row)];
  if (entry.keyId == kEmptyKeyId || entry.label[0] == '\0') return {};
  if (PlainAscii(entry.label)) {
    return QString::fromUtf8(entry.label).replace(QLatin1Char(' '), QLatin1Char('-'));
  }
  return NameFromTextKey(entry.textKey, "IDS_KEYBOARD_");
}

QStringList KeyCliNames() {
  QStringList names;
  for (int row = 0; row < kKeyTableRows; ++row) {
    const QString name = KeyCliName(KeyIndexFromRow(row));
    if (!name.isEmpty()) names << name;
  }
  return names;
}

std::optional<KeyIndex> KeyFromCliName(const QString& name) {
  for (int row = 0; row < kKeyTableRows; ++row) {
    const KeyIndex key = KeyIndexFromRow(row);
    const QString known = KeyCliName(key);
    if (!known.isEmpty() && known.compare(name, Qt::CaseInsensitive) == 0) return key;
  }
  return std::nullopt;
}

QString SlotCliName(int slot) {
  if (slot >= kFirstGKeySlot && slot < kFirstGKeySlot + kGKeySlotCount) {
    const int k = slot - kFirstGKeySlot;
    return k < kGKeysPerBank ? QStringLiteral("G%1").arg(k + 1)
                             : QStringLiteral("G%1B").arg(k - kGKeysPerBank + 1);
  }
  for (const BoardKey& key : BoardKeyList()) {
    if (key.skinKey == slot) return KeyCliName(key.key);
  }
  return QStringLiteral("slot-%1").arg(slot);
}

QStringList SlotCliNames() {
  QStringList names;
  for (const BoardKey& key : BoardKeyList()) names << KeyCliName(key.key);
  for (int slot = kFirstGKeySlot; slot < kFirstGKeySlot + kGKeySlotCount; ++slot) {
    names << SlotCliName(slot);
  }
  return names;
}

std::optional<int> SlotFromCliName(const QString& name) {
  for (int slot = kFirstGKeySlot; slot < kFirstGKeySlot + kGKeySlotCount; ++slot) {
    if (SlotCliName(slot).compare(name, Qt::CaseInsensitive) == 0) return slot;
  }
  for (const BoardKey& key : BoardKeyList()) {
    if (KeyCliName(key.key).compare(name, Qt::CaseInsensitive) == 0) return key.skinKey;
  }
  return std::nullopt;
}

QStringList MediaCliNames() {
  QStringList names;
  for (KeyIndex key : kMediaKeyList) names << KeyCliName(key);
  return names;
}

std::optional<int> MediaFromCliName(const QString& name) {
  const QStringList names = MediaCliNames();
  for (int i = 0; i < names.size(); ++i) {
    if (names[i].compare(name, Qt::CaseInsensitive) == 0) return i;
  }
  return std::nullopt;
}

QStringList FunctionCliNames() {
  QStringList names;
  for (int i = 0; i < kFunctionCount; ++i) {
    const auto slot = static_cast<TextSlot>(static_cast<int>(TextSlot::FuncKeyDesc1) + i);
    names << NameFromTextKey(TextSlotInfoOf(slot).builtIn, "IDS_COMPOSITE_FUNC_KEY_");
  }
  return names;
}

std::optional<int> FunctionFromCliName(const QString& name) {
  const QStringList names = FunctionCliNames();
  for (int i = 0; i < names.size(); ++i) {
    if (names[i].compare(name, Qt::CaseInsensitive) == 0) return i;
  }
  return std::nullopt;
}

QString EffectCliName(const QString& displayName) {
  return displayName.trimmed().replace(QLatin1Char(' '), QLatin1Char('-'));
}

}  // namespace kst
