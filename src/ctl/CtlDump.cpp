#include "ctl/CtlDump.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <memory>
#include <span>
#include <utility>

#include "ctl/CtlMessages.h"
#include "ctl/CtlNames.h"
#include "foundation/Language.h"
#include "platform/RegularFile.h"
#include "store/MacroRecord.h"
#include "store/MediaKeys.h"
#include "store/ProfileFiles.h"

namespace kst {

namespace {

const char* KindName(std::uint16_t kind) {
  switch (static_cast<AssignmentKind>(kind)) {
    case AssignmentKind::Default:
      return "default";
    case AssignmentKind::Disabled:
      return "disabled";
    case AssignmentKind::SingleKey:
      return "single";
    case AssignmentKind::LaunchProgram:
      return "program";
    case AssignmentKind::PlayMacro:
      return "macro";
    case AssignmentKind::StopMacro:
      return "stop-macro";
    case AssignmentKind::TextBlock:
      return "text";
    case AssignmentKind::MediaKey:
      return "media";
    case AssignmentKind::FunctionKey:
      return "function";
  }
  return "unknown";
}

// Calls each(record) for the stored macros in list order, one decoded record
// at a time: a large file holds 100 of 16 KB each, and all of them decoded at
// once cost megabytes of fresh memory.
template <typename Each>
void ForEachMacro(const StoreContent& content, Each each) {
  const auto record = std::make_unique<MacroRecord>();
  for (std::size_t i = 0; i < content.macroCount; ++i) {
    const std::size_t offset = i * kMacroRecordSize;
    if (offset + kMacroRecordSize > content.macros.size()) break;
    *record = DecodeMacroRecord(MacroBytes(content.macros.data() + offset, kMacroRecordSize));
    each(*record);
  }
}

QString NameOf(const MacroRecord& macro) {
  return QString::fromStdU16String(std::u16string(macro.Name()));
}

using MacroNames = std::vector<std::pair<std::uint32_t, QString>>;

MacroNames NamesOf(const StoreContent& content) {
  MacroNames names;
  ForEachMacro(content, [&names](const MacroRecord& macro) {
    names.emplace_back(macro.number, NameOf(macro));
  });
  return names;
}

QString MacroName(const MacroNames& macros, std::uint32_t number) {
  for (const auto& [macroNumber, name] : macros) {
    if (macroNumber == number) return name;
  }
  return {};
}

// What the entry does, as a command line would give it: "Esc", "Mute",
// "copy", the macro's name, the text; the raw param when it names nothing.
QString Target(const KeyAssignment& entry, const StoreContent& content, int index,
               const MacroNames& macros) {
  switch (entry.Kind()) {
    case AssignmentKind::SingleKey: {
      const QString name =
          entry.param <= 0xFFFF ? KeyCliName(static_cast<KeyIndex>(entry.param)) : QString();
      return name.isEmpty() ? QString::number(entry.param) : name;
    }
    case AssignmentKind::MediaKey: {
      const QStringList names = MediaCliNames();
      return entry.param < static_cast<std::uint32_t>(names.size())
                 ? names[static_cast<int>(entry.param)]
                 : QString::number(entry.param);
    }
    case AssignmentKind::FunctionKey: {
      const QStringList names = FunctionCliNames();
      return entry.param < static_cast<std::uint32_t>(names.size())
                 ? names[static_cast<int>(entry.param)]
                 : QString::number(entry.param);
    }
    case AssignmentKind::PlayMacro:
      return MacroName(macros, entry.param);
    case AssignmentKind::LaunchProgram:
    case AssignmentKind::TextBlock:
      if (static_cast<std::size_t>(index) < content.texts.size())
        return QString::fromStdU16String(content.texts[static_cast<std::size_t>(index)].text);
      return {};
    default:
      return {};
  }
}

struct DumpEntry {
  int profile;
  QString key;
  QString kind;
  QString target;
};

std::vector<DumpEntry> Entries(const StoreContent& content, const MacroNames& macros) {
  std::vector<DumpEntry> entries;
  const ConstBlockSpan block(*content.block);
  for (int profile = 0; profile < kProfileCount; ++profile) {
    for (int slot = 0; slot < kSlotsPerProfile; ++slot) {
      const int index = EntryIndex(profile, slot);
      const KeyAssignment entry = ReadEntry(block, index);
      if (entry.Is(AssignmentKind::Default)) continue;
      entries.push_back({profile + 1, SlotCliName(slot), QString::fromLatin1(KindName(entry.kind)),
                         Target(entry, content, index, macros)});
    }
  }
  return entries;
}

QString EventText(const MacroEvent& event) {
  QString key = KeyCliName(event.key);
  if (key.isEmpty()) key = QStringLiteral("0x%1").arg(event.key, 3, 16, QLatin1Char('0'));
  return QStringLiteral("%1 %2").arg(
      event.direction == kEventPress ? QStringLiteral("press") : QStringLiteral("release"), key);
}

}  // namespace

std::optional<StoreContent> ReadProfileFileForCtl(const QString& path, Language* language,
                                                  CtlResult& result) {
  const RegularFileContents file = ReadRegularFile(path, kMaxProfileFileBytes);
  if (file.refusal != FileRefusal::None && file.refusal != FileRefusal::TooLarge) {
    result.exit = CtlExit::FileAccess;
    const CtlMessageText& text = file.refusal == FileRefusal::Missing ? ctl_text::kFileMissing
                                 : file.refusal == FileRefusal::NotRegular
                                     ? ctl_text::kFileNotRegular
                                     : ctl_text::kFileUnreadable;
    result.error = CtlMessage(language, text, {path});
    return std::nullopt;
  }
  std::optional<StoreContent> content;
  if (file.refusal == FileRefusal::None) {
    const std::span<const std::uint8_t> image(
        reinterpret_cast<const std::uint8_t*>(file.bytes.constData()),
        static_cast<std::size_t>(file.bytes.size()));
    if (CheckProfileImage(image) == ProfileImageStatus::Valid) content = DecodeProfileImage(image);
  }
  if (!content) {
    result.exit = CtlExit::FileRefused;
    const QString text =
        language ? language->LoadLangText(QLatin1String(kRefusedFileTextKey)) : QString();
    result.error =
        QStringLiteral("%1: %2").arg(path, text.isEmpty() || text == QLatin1String("#Error")
                                               ? QStringLiteral("not a valid configuration file")
                                               : text);
  }
  return content;
}

void WriteDumpText(const StoreContent& content, const DumpSink& sink) {
  // The text is made as UTF-8 in a small buffer handed on whenever it fills:
  // a large file holds 200000 events, and the whole text made at once (as a
  // QString converted afterwards, or even as bytes) costs a pass over
  // megabytes of fresh memory.
  constexpr qsizetype kChunk = 64 * 1024;
  QByteArray text;
  text.reserve(kChunk + 1024);
  const auto handOn = [&] {
    if (text.size() < kChunk) return;
    sink(text);
    text.truncate(0);
  };
  int shownProfile = 0;
  for (const DumpEntry& entry : Entries(content, NamesOf(content))) {
    QString line;
    if (entry.profile != shownProfile) {
      shownProfile = entry.profile;
      line += QStringLiteral("Profile %1\n").arg(entry.profile);
    }
    line += QStringLiteral("  %1  %2").arg(entry.key, -12).arg(entry.kind);
    if (!entry.target.isEmpty()) line += QStringLiteral(" ") + entry.target;
    line += QLatin1Char('\n');
    text += line.toUtf8();
    handOn();
  }
  if (shownProfile == 0) text += "No key assignments (every key does its own)\n";
  // Each key's line start made once.
  std::vector<QByteArray> pressed(kFirstDeviceKey), released(kFirstDeviceKey);
  for (KeyIndex key = 0; key < kFirstDeviceKey; ++key) {
    QString name = KeyCliName(key);
    if (name.isEmpty()) name = QStringLiteral("0x%1").arg(key, 3, 16, QLatin1Char('0'));
    pressed[key] = "  press " + name.toUtf8() + ", ";
    released[key] = "  release " + name.toUtf8() + ", ";
  }
  ForEachMacro(content, [&](const MacroRecord& macro) {
    text += QStringLiteral("Macro %1 \"%2\", repeat %3, %4 events\n")
                .arg(macro.number)
                .arg(NameOf(macro))
                .arg(macro.repeatCount)
                .arg(macro.Events().size())
                .toUtf8();
    for (const MacroEvent& event : macro.Events()) {
      const bool press = event.direction == kEventPress;
      if (event.key < kFirstDeviceKey) {
        text += press ? pressed[event.key] : released[event.key];
      } else {
        text += (press ? QStringLiteral("  press ") : QStringLiteral("  release ")).toUtf8() +
                EventText(event).section(' ', 1).toUtf8() + ", ";
      }
      // The delay's digits without a string of their own.
      char digits[10];  // the most a 32-bit delay has
      char* const end = digits + sizeof digits;
      char* first = end;
      std::uint32_t delay = event.delayMs;
      do {
        *--first = static_cast<char>('0' + delay % 10);
        delay /= 10;
      } while (delay != 0);
      text.append(first, end - first);
      text += " ms\n";
      handOn();
    }
  });
  if (!text.isEmpty()) sink(text);
}

QByteArray DumpTextUtf8(const StoreContent& content) {
  QByteArray text;
  WriteDumpText(content, [&text](const QByteArray& piece) { text += piece; });
  return text;
}

QString DumpText(const StoreContent& content) { return QString::fromUtf8(DumpTextUtf8(content)); }

QByteArray DumpJsonUtf8(const StoreContent& content) {
  QJsonArray assignments;
  for (const DumpEntry& entry : Entries(content, NamesOf(content))) {
    QJsonObject object{{QStringLiteral("profile"), entry.profile},
                       {QStringLiteral("key"), entry.key},
                       {QStringLiteral("kind"), entry.kind}};
    if (!entry.target.isEmpty()) object.insert(QStringLiteral("target"), entry.target);
    assignments.append(object);
  }
  QJsonArray macroArray;
  ForEachMacro(content, [&macroArray](const MacroRecord& macro) {
    QJsonArray events;
    for (const MacroEvent& event : macro.Events()) {
      QString key = KeyCliName(event.key);
      events.append(QJsonObject{
          {QStringLiteral("key"), key.isEmpty() ? QJsonValue(event.key) : QJsonValue(key)},
          {QStringLiteral("action"),
           event.direction == kEventPress ? QStringLiteral("press") : QStringLiteral("release")},
          {QStringLiteral("delay_ms"), static_cast<qint64>(event.delayMs)}});
    }
    macroArray.append(QJsonObject{{QStringLiteral("number"), macro.number},
                                  {QStringLiteral("name"), NameOf(macro)},
                                  {QStringLiteral("repeat"), macro.repeatCount},
                                  {QStringLiteral("events"), events}});
  });
  const QJsonObject root{{QStringLiteral("assignments"), assignments},
                         {QStringLiteral("macros"), macroArray}};
  return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

QString DumpJson(const StoreContent& content) { return QString::fromUtf8(DumpJsonUtf8(content)); }

CtlResult WriteProfileFileDump(const QString& path, bool json, Language* language,
                               const DumpSink& sink) {
  CtlResult result;
  const std::optional<StoreContent> content = ReadProfileFileForCtl(path, language, result);
  if (!content) return result;
  if (json)
    sink(DumpJsonUtf8(*content));
  else
    WriteDumpText(*content, sink);
  return result;
}

CtlResult DumpProfileFile(const QString& path, bool json, Language* language) {
  QByteArray out;
  CtlResult result =
      WriteProfileFileDump(path, json, language, [&out](const QByteArray& piece) { out += piece; });
  result.out = QString::fromUtf8(out);
  return result;
}

}  // namespace kst
