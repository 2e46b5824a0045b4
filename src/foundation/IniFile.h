#pragma once

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

#include "platform/FileStamp.h"
#include "platform/RegularFile.h"

namespace kst {

// INI files with the semantics of the Windows private-profile functions:
// sections and keys compare case-insensitively, the first matching section
// and the first matching key in it win, values are trimmed and one pair of
// surrounding double or single quotes is removed. Files are UTF-8 with or
// without a byte-order mark, with CRLF or LF line ends; bytes that are not
// UTF-8 read as U+FFFD, so ASCII keys of such a file still work. A line that
// starts with '[' but has no ']' opens a section no lookup matches (its keys
// do not leak into the section above). Files larger than kMaxIniFileBytes
// are not read: every lookup gives the default and writes to them fail.
// Only regular files are opened, without waiting: a FIFO or device in a
// file's place reads as a missing file (said once on stderr) and is never
// written.
//
// A write changes only the line of its key (or adds one line at the end of
// the section, or the section at the end of the file), keeps every other
// byte, the byte-order mark and the file's line end, and replaces the file
// atomically.

inline constexpr std::int64_t kMaxIniFileBytes = 8 * 1024 * 1024;

// Parsed form of one INI file: the raw lines (kept for writes) and an index
// of the first occurrence of every section/key pair.
class ParsedIni {
 public:
  static ParsedIni FromBytes(const QByteArray& bytes);
  // nullptr when the section or key is missing.
  const QString* Find(const QString& section, const QString& key) const;
  // The file's bytes with `section`/`key` set to `value`.
  QByteArray WithValue(const QString& section, const QString& key, const QString& value) const;

 private:
  struct Line {
    qsizetype begin = 0;  // offset of the line's first byte in bytes_
    qsizetype end = 0;    // offset after the line's text, before its line end
    qsizetype next = 0;   // offset of the following line
  };
  struct SectionInfo {
    int headerLine = -1;     // -1: keys before the first header
    int lastEntryLine = -1;  // last non-blank line of the section
    bool matchable = true;
  };
  // Hashing and equality that ignore case the way QString::compare does, so
  // lookups need no case-folded copies of their arguments.
  struct CaseInsensitiveHash {
    using is_transparent = void;
    size_t operator()(QStringView text) const noexcept;
  };
  struct CaseInsensitiveEqual {
    using is_transparent = void;
    bool operator()(QStringView a, QStringView b) const noexcept {
      return a.compare(b, Qt::CaseInsensitive) == 0;
    }
  };
  template <typename T>
  using CaseInsensitiveMap =
      std::unordered_map<QString, T, CaseInsensitiveHash, CaseInsensitiveEqual>;

  struct KeyInfo {
    int line = -1;
    QString value;
  };
  struct SectionKeys {
    int section = -1;                  // index in sections_ of the first section of this name
    CaseInsensitiveMap<KeyInfo> keys;  // first occurrence of each key in that section
  };

  QByteArray bytes_;
  std::vector<Line> lines_;
  QByteArray lineEnd_ = "\n";
  bool endsWithLineEnd_ = true;
  std::vector<SectionInfo> sections_;
  CaseInsensitiveMap<SectionKeys> index_;

  friend class IniCache;
};

// Parsed files cached by path and checked against one stat() per lookup, so a
// lookup in an unchanged file costs one stat and a hash lookup, and a changed
// file is seen on the next lookup. Thread-safe. Holds at most kMaxFiles files.
class IniCache {
 public:
  static constexpr int kMaxFiles = 64;

  // nullopt when the file, section or key is missing (or the file cannot be read).
  std::optional<QString> Lookup(const QString& path, const QString& section,
                                const QString& key) const;
  // GetPrivateProfileString: the value, or `defaultValue` with trailing blanks
  // removed; cut to capacity-1 UTF-16 units (never inside a surrogate pair).
  QString Read(const QString& path, const QString& section, const QString& key,
               const QString& defaultValue, int capacity) const;
  // WritePrivateProfileString; false when the file could not be written
  // (it is then unchanged).
  bool Write(const QString& path, const QString& section, const QString& key, const QString& value);

 private:
  struct Entry {
    QByteArray encodedPath;  // for stat(), encoded once
    FileStamp stamp;
    std::shared_ptr<const ParsedIni> parsed;
  };
  std::shared_ptr<const ParsedIni> Get(const QString& path) const;
  void Refused(const QString& path, FileRefusal refusal) const;

  mutable std::mutex mutex_;
  mutable QHash<QString, Entry> files_;
  mutable QSet<QString> refused_;  // paths already reported as not regular files
};

// Cuts `text` to at most capacity-1 UTF-16 units without splitting a surrogate pair.
QString CutToCapacity(const QString& text, int capacity);

// The free functions share one process-wide IniCache. It only mirrors files
// (every lookup re-checks the file), so sharing it changes no meaning.
// capacity: in characters including the terminator; at most capacity-1
// characters are returned.
QString ReadProfileString(const QString& path, const QString& section, const QString& key,
                          const QString& defaultValue, int capacity);
bool WriteProfileString(const QString& path, const QString& section, const QString& key,
                        const QString& value);

// The INI reader of a skinned window: one file, owned by the window.
class CIniFile {
 public:
  static constexpr int kMaxPathChars = 259;
  static constexpr int kMaxValueChars = 2047;

  explicit CIniFile(QString path = {});
  void SetPath(QString path);  // cut to kMaxPathChars characters
  QString Path() const;
  // At most kMaxValueChars characters; nullopt when the result is empty
  // (an empty value and an empty default both give nothing).
  std::optional<QString> GetString(const QString& section, const QString& key,
                                   const QString& defaultValue) const;
  bool WriteString(const QString& section, const QString& key, const QString& value);

 private:
  QString path_;
};

}  // namespace kst
