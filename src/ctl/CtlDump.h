#pragma once

// "kestrunectl dump FILE [--json]": a profile file as text or JSON, without
// a keyboard. The file is read and checked as an import checks it.

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

#include "ctl/CtlCommand.h"
#include "store/AssignmentStore.h"

namespace kst {

class Language;

// Text key of the message for a profile file that is refused (the window's
// import message).
inline constexpr const char* kRefusedFileTextKey = "IDS_MAIN_PROMPT_INPORT";
// Largest file read: 100 macros and a text area far beyond what the store
// can hold.
inline constexpr std::int64_t kMaxProfileFileBytes = 64 * 1024 * 1024;

// Reads and decodes a profile file. On failure, nullopt and result holds the
// exit code (FileAccess or FileRefused) and one line naming the file; the
// refusal of a damaged file is the language's text when language is given.
std::optional<StoreContent> ReadProfileFileForCtl(const QString& path, Language* language,
                                                  CtlResult& result);

// Takes the dump's UTF-8 bytes piece by piece, in order.
using DumpSink = std::function<void(const QByteArray&)>;

// The whole dump of a decoded content, as text and as the UTF-8 bytes printed.
QString DumpText(const StoreContent& content);
QString DumpJson(const StoreContent& content);
QByteArray DumpTextUtf8(const StoreContent& content);
QByteArray DumpJsonUtf8(const StoreContent& content);
// The text dump handed to sink in pieces of some tens of kilobytes.
void WriteDumpText(const StoreContent& content, const DumpSink& sink);

CtlResult DumpProfileFile(const QString& path, bool json, Language* language);
// The same with the dump handed to sink as UTF-8 (result.out stays empty):
// what the program prints, without a pass through QString and without the
// whole text in memory at once.
CtlResult WriteProfileFileDump(const QString& path, bool json, Language* language,
                               const DumpSink& sink);

}  // namespace kst
