#include "foundation/IniFile.h"

#include <QFile>

#include "platform/AtomicFile.h"
#include "platform/RegularFile.h"

namespace kst {

namespace {

constexpr char kBom[] = "\xEF\xBB\xBF";
constexpr qsizetype kBomSize = 3;
// Cached files are dropped all at once when they hold more than this many bytes.
constexpr qsizetype kMaxCachedBytes = 32 * 1024 * 1024;

// One pair of matching surrounding quotes is not part of the value.
QString StripQuotes(QString value) {
  if (value.size() >= 2) {
    const QChar first = value.front();
    if ((first == QLatin1Char('"') || first == QLatin1Char('\'')) && value.back() == first) {
      return value.mid(1, value.size() - 2);
    }
  }
  return value;
}

}  // namespace

QString CutToCapacity(const QString& text, int capacity) {
  if (capacity <= 1) return {};
  const qsizetype limit = capacity - 1;
  if (text.size() <= limit) return text;
  qsizetype cut = limit;
  if (text[cut - 1].isHighSurrogate()) --cut;  // never leave half a character
  return text.left(cut);
}

ParsedIni ParsedIni::FromBytes(const QByteArray& bytes) {
  ParsedIni ini;
  ini.bytes_ = bytes;
  const qsizetype size = bytes.size();
  const char* data = bytes.constData();
  const qsizetype start = bytes.startsWith(kBom) ? kBomSize : 0;

  const qsizetype firstNewline = bytes.indexOf('\n', start);
  if (firstNewline > start && data[firstNewline - 1] == '\r') ini.lineEnd_ = "\r\n";
  ini.endsWithLineEnd_ = size == start || data[size - 1] == '\n';

  // Keys before the first section header belong to no section.
  ini.sections_.push_back(SectionInfo{-1, -1, false});
  int currentSection = 0;
  // Keys of the current section when it is the first of its name (the only
  // one searched), otherwise nullptr.
  CaseInsensitiveMap<KeyInfo>* currentKeys = nullptr;

  for (qsizetype pos = start; pos < size;) {
    qsizetype newline = bytes.indexOf('\n', pos);
    Line line;
    line.begin = pos;
    line.next = newline < 0 ? size : newline + 1;
    line.end = newline < 0 ? size : newline;
    if (line.end > line.begin && data[line.end - 1] == '\r') --line.end;
    const int lineNo = static_cast<int>(ini.lines_.size());
    ini.lines_.push_back(line);
    pos = line.next;

    const QString text = QString::fromUtf8(data + line.begin, line.end - line.begin).trimmed();
    if (text.isEmpty() || text.startsWith(QLatin1Char(';'))) continue;

    if (text.startsWith(QLatin1Char('['))) {
      const qsizetype close = text.indexOf(QLatin1Char(']'));
      SectionInfo info{lineNo, lineNo, close > 0};
      ini.sections_.push_back(info);
      currentSection = static_cast<int>(ini.sections_.size()) - 1;
      currentKeys = nullptr;
      if (info.matchable) {
        const auto [it, inserted] =
            ini.index_.try_emplace(QStringView(text).sliced(1, close - 1).trimmed().toString(),
                                   SectionKeys{currentSection, {}});
        if (inserted) currentKeys = &it->second.keys;
      }
      continue;
    }

    const qsizetype equals = text.indexOf(QLatin1Char('='));
    if (equals < 0) continue;
    ini.sections_[static_cast<size_t>(currentSection)].lastEntryLine = lineNo;
    if (currentKeys == nullptr) continue;
    // try_emplace keeps the first occurrence of a key.
    currentKeys->try_emplace(QStringView(text).first(equals).trimmed().toString(),
                             KeyInfo{lineNo, StripQuotes(text.mid(equals + 1).trimmed())});
  }
  return ini;
}

size_t ParsedIni::CaseInsensitiveHash::operator()(QStringView text) const noexcept {
  size_t hash = 1469598103934665603ull;
  const qsizetype size = text.size();
  for (qsizetype i = 0; i < size; ++i) {
    char32_t c = text[i].unicode();
    if (c < 0x80) {
      if (c >= 'A' && c <= 'Z') c += 'a' - 'A';
    } else {
      if (QChar::isHighSurrogate(c) && i + 1 < size && text[i + 1].isLowSurrogate()) {
        c = QChar::surrogateToUcs4(static_cast<char16_t>(c), text[++i].unicode());
      }
      c = QChar::toCaseFolded(c);
    }
    hash = (hash ^ c) * 1099511628211ull;
  }
  return hash;
}

const QString* ParsedIni::Find(const QString& section, const QString& key) const {
  const auto sectionIt = index_.find(QStringView(section));
  if (sectionIt == index_.end()) return nullptr;
  const auto keyIt = sectionIt->second.keys.find(QStringView(key));
  return keyIt == sectionIt->second.keys.end() ? nullptr : &keyIt->second.value;
}

QByteArray ParsedIni::WithValue(const QString& section, const QString& key,
                                const QString& value) const {
  const QByteArray entry = key.toUtf8() + '=' + value.toUtf8();
  QByteArray out = bytes_;

  const auto sectionIt = index_.find(QStringView(section));
  if (sectionIt != index_.end()) {
    const auto keyIt = sectionIt->second.keys.find(QStringView(key));
    if (keyIt != sectionIt->second.keys.end()) {
      const Line& line = lines_[static_cast<size_t>(keyIt->second.line)];
      out.replace(line.begin, line.end - line.begin, entry);
      return out;
    }
    const SectionInfo& info = sections_[static_cast<size_t>(sectionIt->second.section)];
    const Line& after = lines_[static_cast<size_t>(info.lastEntryLine)];
    QByteArray insert;
    if (after.next == after.end) insert += lineEnd_;  // the last line of the file had no line end
    insert += entry + lineEnd_;
    out.insert(after.next, insert);
    return out;
  }

  if (!endsWithLineEnd_) out += lineEnd_;
  out += '[' + section.toUtf8() + ']' + lineEnd_ + entry + lineEnd_;
  return out;
}

std::shared_ptr<const ParsedIni> IniCache::Get(const QString& path) const {
  // Caller holds mutex_.
  auto it = files_.find(path);
  const QByteArray encodedPath = it != files_.end() ? it->encodedPath : QFile::encodeName(path);
  const std::optional<FileStamp> stamp =
      path.isEmpty() ? std::nullopt : StatFile(encodedPath.constData());
  if (stamp && !stamp->regularFile) Refused(path, FileRefusal::NotRegular);
  if (!stamp || !stamp->regularFile || stamp->size > kMaxIniFileBytes) {
    if (it != files_.end()) files_.erase(it);
    return nullptr;
  }
  if (it != files_.end() && it->stamp == *stamp) return it->parsed;

  const RegularFileContents read = ReadRegularFile(path, kMaxIniFileBytes);
  if (read.refusal == FileRefusal::NotRegular) Refused(path, read.refusal);
  if (read.refusal != FileRefusal::None) return nullptr;

  auto parsed = std::make_shared<const ParsedIni>(ParsedIni::FromBytes(read.bytes));
  qsizetype cachedBytes = read.bytes.size();
  for (const Entry& entry : std::as_const(files_)) cachedBytes += entry.stamp.size;
  if (it == files_.end() && (files_.size() >= kMaxFiles || cachedBytes > kMaxCachedBytes)) {
    files_.clear();
  }
  // The stamp of the file read, so a file replaced since the stat above is
  // read again on the next lookup.
  files_.insert(path, Entry{encodedPath, read.stamp, parsed});
  return parsed;
}

void IniCache::Refused(const QString& path, FileRefusal refusal) const {
  // Caller holds mutex_. Every lookup meets the file again: say it once.
  if (refused_.contains(path)) return;
  if (refused_.size() >= kMaxFiles) refused_.clear();
  refused_.insert(path);
  ReportRefusedFile(QStringLiteral("INI file"), path, refusal);
}

std::optional<QString> IniCache::Lookup(const QString& path, const QString& section,
                                        const QString& key) const {
  std::shared_ptr<const ParsedIni> parsed;
  {
    std::lock_guard lock(mutex_);
    parsed = Get(path);
  }
  if (!parsed) return std::nullopt;
  const QString* value = parsed->Find(section, key);
  if (value == nullptr) return std::nullopt;
  return *value;
}

QString IniCache::Read(const QString& path, const QString& section, const QString& key,
                       const QString& defaultValue, int capacity) const {
  const std::optional<QString> value = Lookup(path, section, key);
  return CutToCapacity(value ? *value : defaultValue, capacity);
}

bool IniCache::Write(const QString& path, const QString& section, const QString& key,
                     const QString& value) {
  // Texts that cannot be written as one line would change other lines.
  const auto breaksLine = [](const QString& s) {
    return s.contains(QLatin1Char('\n')) || s.contains(QLatin1Char('\r'));
  };
  if (path.isEmpty() || section.trimmed().isEmpty() || section.contains(QLatin1Char(']')) ||
      breaksLine(section) || key.trimmed().isEmpty() || key.contains(QLatin1Char('=')) ||
      key.trimmed().startsWith(QLatin1Char('[')) || key.trimmed().startsWith(QLatin1Char(';')) ||
      breaksLine(key) || breaksLine(value)) {
    return false;
  }

  std::lock_guard lock(mutex_);
  std::shared_ptr<const ParsedIni> parsed = Get(path);
  if (!parsed) {
    // Only a file that does not exist may be created; one that exists but
    // cannot be read (or is too large) is left alone.
    if (StatFile(path)) return false;
    parsed = std::make_shared<const ParsedIni>(ParsedIni::FromBytes({}));
  }
  const QByteArray bytes = parsed->WithValue(section, key, value.trimmed());
  if (bytes.size() > kMaxIniFileBytes) return false;

  if (!WriteFileAtomically(path, bytes)) return false;
  files_.remove(path);  // parsed again on the next lookup
  return true;
}

namespace {

// The cache behind the free functions and CIniFile. It only mirrors files:
// every lookup re-checks its file, so one shared instance changes no result.
IniCache& SharedIniCache() {
  static IniCache cache;
  return cache;
}

}  // namespace

QString ReadProfileString(const QString& path, const QString& section, const QString& key,
                          const QString& defaultValue, int capacity) {
  return SharedIniCache().Read(path, section, key, defaultValue, capacity);
}

bool WriteProfileString(const QString& path, const QString& section, const QString& key,
                        const QString& value) {
  return SharedIniCache().Write(path, section, key, value);
}

CIniFile::CIniFile(QString path) { SetPath(std::move(path)); }

void CIniFile::SetPath(QString path) { path_ = CutToCapacity(path, kMaxPathChars + 1); }

QString CIniFile::Path() const { return path_; }

std::optional<QString> CIniFile::GetString(const QString& section, const QString& key,
                                           const QString& defaultValue) const {
  QString value = ReadProfileString(path_, section, key, defaultValue, kMaxValueChars + 1);
  if (value.isEmpty()) return std::nullopt;
  return value;
}

bool CIniFile::WriteString(const QString& section, const QString& key, const QString& value) {
  return WriteProfileString(path_, section, key, value);
}

}  // namespace kst
