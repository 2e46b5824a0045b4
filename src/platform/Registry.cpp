#include "platform/Registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <unistd.h>

#include <cstdio>

#include "platform/AtomicFile.h"
#include "platform/PrivateFolder.h"
#include "platform/RegularFile.h"

namespace kst {

namespace {

constexpr QLatin1StringView kHeader5("Windows Registry Editor Version 5.00");
constexpr QLatin1StringView kHeader4("REGEDIT4");
constexpr QLatin1StringView kRoot("HKEY_CURRENT_USER\\");
constexpr QLatin1StringView kDwordPrefix("dword:");

QString FullPath(const QString& key) {
  QString trimmed = key;
  while (trimmed.startsWith(QLatin1Char('\\'))) trimmed.remove(0, 1);
  while (trimmed.endsWith(QLatin1Char('\\'))) trimmed.chop(1);
  return kRoot + trimmed;
}

// Decodes the file's bytes: UTF-16LE with its byte-order mark (as the
// registry editor writes), otherwise UTF-8 with or without one. nullopt when
// the bytes are not valid in that encoding.
std::optional<QString> Decode(const QByteArray& bytes) {
  if (bytes.startsWith("\xFF\xFE")) {
    if ((bytes.size() % 2) != 0) return std::nullopt;
    QStringDecoder decoder(QStringDecoder::Utf16LE, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(QByteArrayView(bytes).sliced(2));
    if (decoder.hasError()) return std::nullopt;
    return text;
  }
  QByteArrayView view(bytes);
  if (view.startsWith("\xEF\xBB\xBF")) view = view.sliced(3);
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = decoder.decode(view);
  if (decoder.hasError()) return std::nullopt;
  return text;
}

// Reads a quoted string starting at text[pos] == '"'; on success pos is just
// past the closing quote.
std::optional<QString> ReadQuoted(const QString& text, qsizetype& pos) {
  if (pos >= text.size() || text[pos] != QLatin1Char('"')) return std::nullopt;
  QString out;
  for (qsizetype i = pos + 1; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c == QLatin1Char('"')) {
      pos = i + 1;
      return out;
    }
    if (c == QLatin1Char('\\') && i + 1 < text.size()) {
      const QChar n = text[++i];
      if (n == QLatin1Char('\\') || n == QLatin1Char('"')) {
        out += n;
      } else if (n == QLatin1Char('n')) {
        out += QLatin1Char('\n');
      } else if (n == QLatin1Char('r')) {
        out += QLatin1Char('\r');
      } else {
        // Not an escape we write: keep both characters.
        out += c;
        out += n;
      }
      continue;
    }
    out += c;
  }
  return std::nullopt;  // no closing quote
}

QString Quote(const QString& text) {
  QString out;
  out.reserve(text.size() + 2);
  out += QLatin1Char('"');
  for (const QChar c : text) {
    if (c == QLatin1Char('\\') || c == QLatin1Char('"')) {
      out += QLatin1Char('\\');
      out += c;
    } else if (c == QLatin1Char('\n')) {
      out += QLatin1String("\\n");
    } else if (c == QLatin1Char('\r')) {
      out += QLatin1String("\\r");
    } else {
      out += c;
    }
  }
  out += QLatin1Char('"');
  return out;
}

bool IsTypeTag(QStringView tag) {
  if (tag.isEmpty()) return false;
  for (const QChar c : tag) {
    if (!(c.isLetterOrNumber() || c == QLatin1Char('(') || c == QLatin1Char(')'))) return false;
  }
  return true;
}

std::optional<Registry::Value> ParseValue(const QString& text) {
  const QString value = text.trimmed();
  if (value.startsWith(QLatin1Char('"'))) {
    qsizetype pos = 0;
    std::optional<QString> s = ReadQuoted(value, pos);
    if (!s || pos != value.size()) return std::nullopt;
    return Registry::Value(*s);
  }
  if (value.startsWith(kDwordPrefix, Qt::CaseInsensitive)) {
    const QStringView digits = QStringView(value).sliced(kDwordPrefix.size());
    if (digits.isEmpty() || digits.size() > 8) return std::nullopt;
    bool ok = false;
    const uint number = digits.toUInt(&ok, 16);
    if (!ok) return std::nullopt;
    return Registry::Value(static_cast<std::uint32_t>(number));
  }
  const qsizetype colon = value.indexOf(QLatin1Char(':'));
  if (colon > 0 && IsTypeTag(QStringView(value).first(colon))) {
    return Registry::Value(Registry::RawValue{value});
  }
  return std::nullopt;  // includes "-" (deletion), which a stored file never holds
}

Registry::Section* FindSection(Registry::Contents& contents, const QString& path) {
  for (Registry::Section& section : contents.sections) {
    if (section.path.compare(path, Qt::CaseInsensitive) == 0) return &section;
  }
  return nullptr;
}

Registry::Entry* FindEntry(Registry::Section& section, const QString& name) {
  for (Registry::Entry& entry : section.entries) {
    if (entry.name.compare(name, Qt::CaseInsensitive) == 0) return &entry;
  }
  return nullptr;
}

}  // namespace

Registry::Registry(QString filePath) : filePath_(std::move(filePath)) {}

QString Registry::DefaultFilePath() {
  QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
  if (base.isEmpty() || !QDir::isAbsolutePath(base)) base = QDir::homePath() + "/.config";
  return QDir::cleanPath(base) + QStringLiteral("/Z-ORMIT_M350RGB/registry.reg");
}

std::optional<Registry::Contents> Registry::Parse(const QByteArray& bytes) {
  if (bytes.size() > kMaxFileBytes) return std::nullopt;
  std::optional<QString> text = Decode(bytes);
  if (!text) return std::nullopt;

  // Logical lines: a trailing backslash continues a hex value on the next line.
  std::vector<QString> lines;
  QString pending;
  for (QStringView raw : QStringView(*text).split(QLatin1Char('\n'))) {
    if (raw.endsWith(QLatin1Char('\r'))) raw.chop(1);
    QString line = pending + raw.trimmed().toString();
    pending.clear();
    if (line.endsWith(QLatin1Char('\\')) && !line.startsWith(QLatin1Char('['))) {
      line.chop(1);
      pending = line;
      continue;
    }
    lines.push_back(std::move(line));
  }
  if (!pending.isEmpty()) lines.push_back(pending);

  Contents contents;
  bool headerSeen = false;
  Section* current = nullptr;
  for (const QString& line : lines) {
    if (line.isEmpty() || line.startsWith(QLatin1Char(';'))) continue;
    if (!headerSeen) {
      if (line != kHeader5 && line != kHeader4) return std::nullopt;
      headerSeen = true;
      continue;
    }
    if (line.startsWith(QLatin1Char('['))) {
      if (!line.endsWith(QLatin1Char(']')) || line.startsWith(QLatin1String("[-"))) {
        return std::nullopt;
      }
      const QString path = line.mid(1, line.size() - 2).trimmed();
      if (path.isEmpty()) return std::nullopt;
      current = FindSection(contents, path);
      if (current == nullptr) {
        contents.sections.push_back(Section{path, {}});
        current = &contents.sections.back();
      }
      continue;
    }
    if (current == nullptr) return std::nullopt;
    QString name;
    qsizetype pos = 0;
    if (line.startsWith(QLatin1Char('@'))) {
      pos = 1;
    } else {
      std::optional<QString> quoted = ReadQuoted(line, pos);
      if (!quoted) return std::nullopt;
      name = *quoted;
    }
    while (pos < line.size() && line[pos].isSpace()) ++pos;
    if (pos >= line.size() || line[pos] != QLatin1Char('=')) return std::nullopt;
    std::optional<Value> value = ParseValue(line.mid(pos + 1));
    if (!value) return std::nullopt;
    if (Entry* existing = FindEntry(*current, name)) {
      existing->value = std::move(*value);  // a later line for the same name wins, as on import
    } else {
      current->entries.push_back(Entry{name, std::move(*value)});
    }
  }
  // A file of blank lines and comments only (no header) is empty, not damaged.
  return contents;
}

QByteArray Registry::Serialize(const Contents& contents) {
  QString out = kHeader5 + QStringLiteral("\n");
  for (const Section& section : contents.sections) {
    if (section.entries.empty()) continue;
    out += QStringLiteral("\n[") + section.path + QStringLiteral("]\n");
    for (const Entry& entry : section.entries) {
      out += entry.name.isEmpty() ? QStringLiteral("@") : Quote(entry.name);
      out += QLatin1Char('=');
      if (const auto* dword = std::get_if<std::uint32_t>(&entry.value)) {
        out += kDwordPrefix + QStringLiteral("%1").arg(*dword, 8, 16, QLatin1Char('0'));
      } else if (const auto* string = std::get_if<QString>(&entry.value)) {
        out += Quote(*string);
      } else {
        out += std::get<RawValue>(entry.value).text;
      }
      out += QLatin1Char('\n');
    }
  }
  return out.toUtf8();
}

void Registry::Refresh() const {
  const std::optional<FileStamp> stamp = StatFile(filePath_);
  if (loaded_ && stamp == snapshot_.stamp) return;
  loaded_ = true;
  snapshot_ = Snapshot{};
  snapshot_.stamp = stamp;
  if (!stamp) return;  // no file: no values
  if (!stamp->regularFile) {
    snapshot_.foreign = true;
    ReportRefusedFile(QStringLiteral("settings file"), filePath_, FileRefusal::NotRegular);
    return;
  }
  if (stamp->size > kMaxFileBytes) {
    snapshot_.damaged = true;
    return;
  }
  const RegularFileContents read = ReadRegularFile(filePath_, kMaxFileBytes);
  if (read.refusal == FileRefusal::NotRegular) {
    // Replaced by something else since the stat: the next Refresh sees it.
    snapshot_.stamp.reset();
    loaded_ = false;
    return;
  }
  if (read.refusal == FileRefusal::TooLarge) {
    snapshot_.damaged = true;
    return;
  }
  if (read.refusal != FileRefusal::None) {
    // Unreadable now (permissions, a race with a writer): read again next time.
    loaded_ = false;
    return;
  }
  std::optional<Contents> contents = Parse(read.bytes);
  if (!contents) {
    snapshot_.damaged = true;
    return;
  }
  snapshot_.contents = std::move(*contents);
}

const Registry::Value* Registry::Find(const QString& key, const QString& name) const {
  Refresh();
  Section* section = FindSection(snapshot_.contents, FullPath(key));
  if (section == nullptr) return nullptr;
  const Entry* entry = FindEntry(*section, name);
  return entry != nullptr ? &entry->value : nullptr;
}

std::optional<std::uint32_t> Registry::GetDword(const QString& key, const QString& name) const {
  std::lock_guard lock(mutex_);
  const Value* value = Find(key, name);
  if (value == nullptr) return std::nullopt;
  if (const auto* dword = std::get_if<std::uint32_t>(value)) return *dword;
  return std::nullopt;
}

std::optional<QString> Registry::GetString(const QString& key, const QString& name) const {
  std::lock_guard lock(mutex_);
  const Value* value = Find(key, name);
  if (value == nullptr) return std::nullopt;
  if (const auto* string = std::get_if<QString>(value)) return *string;
  return std::nullopt;
}

namespace {

bool SameValue(const Registry::Value& a, const Registry::Value& b) {
  if (a.index() != b.index()) return false;
  if (const auto* number = std::get_if<std::uint32_t>(&a))
    return *number == std::get<std::uint32_t>(b);
  if (const auto* text = std::get_if<QString>(&a)) return *text == std::get<QString>(b);
  return false;  // values kept as found are never compared
}

}  // namespace

bool Registry::Store(const QString& key, const QString& name, std::optional<Value> value) {
  std::lock_guard lock(mutex_);
  Refresh();
  // A FIFO, socket or device in the file's place is not ours to replace.
  if (snapshot_.foreign) return false;
  Contents contents = snapshot_.damaged ? Contents{} : snapshot_.contents;
  const QString path = FullPath(key);
  Section* section = FindSection(contents, path);
  if (!value) {
    if (section == nullptr) return true;
    const auto it = std::find_if(
        section->entries.begin(), section->entries.end(),
        [&](const Entry& e) { return e.name.compare(name, Qt::CaseInsensitive) == 0; });
    if (it == section->entries.end()) return true;
    section->entries.erase(it);
  } else {
    if (section == nullptr) {
      contents.sections.push_back(Section{path, {}});
      section = &contents.sections.back();
    }
    if (Entry* entry = FindEntry(*section, name)) {
      // The file already holds this value: nothing to write (a write is an
      // fsync'd replacement of the whole file).
      if (!snapshot_.damaged && SameValue(entry->value, *value)) return true;
      entry->value = std::move(*value);
    } else {
      section->entries.push_back(Entry{name, std::move(*value)});
    }
  }

  if (snapshot_.damaged && snapshot_.stamp) {
    // Keep the damaged file for the user before it is replaced: a second
    // name for it, so nothing is opened or read (it may have been swapped
    // for a FIFO since it was examined); moved aside where the file system
    // has no hard links.
    const QString badPath = filePath_ + QStringLiteral(".bad");
    QFile::remove(badPath);
    const QByteArray from = QFile::encodeName(filePath_);
    const QByteArray to = QFile::encodeName(badPath);
    if (::link(from.constData(), to.constData()) != 0 &&
        ::rename(from.constData(), to.constData()) != 0) {
      return false;
    }
  }
  const QString folder = QFileInfo(filePath_).absolutePath();
  if (MakePrivateFolder(folder) < 0) return false;
  if (!leftoversCleared_) {
    // The first write of this instance: whatever an interrupted write left
    // behind is nobody's now.
    ClearAtomicWriteLeftovers(folder, {QFileInfo(filePath_).fileName()});
    leftoversCleared_ = true;
  }
  if (!WriteFileAtomically(filePath_, Serialize(contents))) return false;
  snapshot_.contents = std::move(contents);
  snapshot_.damaged = false;
  snapshot_.stamp = StatFile(filePath_);
  loaded_ = snapshot_.stamp.has_value();
  return true;
}

bool Registry::SetDword(const QString& key, const QString& name, std::uint32_t value) {
  return Store(key, name, Value(value));
}

bool Registry::SetString(const QString& key, const QString& name, const QString& value) {
  return Store(key, name, Value(value));
}

bool Registry::DeleteValue(const QString& key, const QString& name) {
  return Store(key, name, std::nullopt);
}

}  // namespace kst
