#pragma once

// The names kestrunectl reads and prints for keys, G keys, media keys,
// editing functions and effects. Key names are the key table's English
// labels with spaces as hyphens ("Caps-Lock", "Num-7"); keys whose label is
// not plain ASCII (the arrows) go by their text key ("up"). Every name is
// matched without regard to case.

#include <QString>
#include <QStringList>

#include <optional>

#include "foundation/KeyCodeTable.h"

namespace kst {

class Language;

// The name of a key of the key table; empty for a key without a row.
QString KeyCliName(KeyIndex key);
// Any key of the key table by name (a key a single-key assignment may send).
std::optional<KeyIndex> KeyFromCliName(const QString& name);
// Every key name, in table order.
QStringList KeyCliNames();

// The assignable keys: the 104 board keys by key name, and the G keys
// "G1".."G9" (bank A) and "G1B".."G9B" (bank B). Slot of a profile.
std::optional<int> SlotFromCliName(const QString& name);
// The name of a slot; "slot-N" for a slot that is neither.
QString SlotCliName(int slot);
QStringList SlotCliNames();

// Media keys by position (the param of a MediaKey entry).
QStringList MediaCliNames();
std::optional<int> MediaFromCliName(const QString& name);

// Editing functions by position (the param of a FunctionKey entry): "open",
// "new", ... from their text keys.
QStringList FunctionCliNames();
std::optional<int> FunctionFromCliName(const QString& name);

// An effect name as written on a command line: spaces as hyphens.
QString EffectCliName(const QString& displayName);

}  // namespace kst
