#pragma once

// A plain-text listing of the key code table in the current language, for
// checking language files and key names without the main window.

#include <cstdint>

#include <QString>
#include <QTextStream>

namespace kst {

class Language;

// English name of a supported language identifier; "unsupported language"
// for any other.
QString LanguageName(std::uint16_t languageId);

// "Language 0x0409 English (United States)"
void WriteLanguageLine(QTextStream& out, Language& language);

// One line per row of the key code table, all 256 rows in row order:
// KeyIndex, AssignmentSlot and UsageCode in hexadecimal, then the display
// name, e.g. "0x01E 0x01E 0x04 A".
void WriteKeyListing(QTextStream& out, Language& language);

}  // namespace kst
