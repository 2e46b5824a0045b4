#pragma once

#include <QString>

#include <cstdint>
#include <mutex>
#include <optional>
#include <variant>
#include <vector>

#include "platform/FileStamp.h"

namespace kst {

// Per-user typed values (DWORD and string) under key paths such as
// "Software\\Z-ORMIT_M350RGB", kept in one text file in the .reg format:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\Software\Z-ORMIT_M350RGB]
//   "dwLanguageId"=dword:00000409
//   "Name"="text with \\ and \" escaped"
//
// Key paths are relative to HKEY_CURRENT_USER; key paths and value names
// compare case-insensitively. Every Get re-reads the file when it changed
// (size, modification time or identity), so values changed by hand or by
// another process are seen; every Set replaces the file atomically. A file
// that cannot be parsed reads as empty and is kept beside itself with the
// suffix ".bad" before the next write replaces it. Something other than a
// regular file in the file's place (a FIFO, a device) is never opened: it
// reads as empty, writes fail, and stderr says so. Values of other types
// (hex:, hex(2):, ...) are kept unchanged on write; Get reports them as
// missing. Thread-safe.
class Registry {
 public:
  explicit Registry(QString filePath);
  Registry(const Registry&) = delete;
  Registry& operator=(const Registry&) = delete;

  // $XDG_CONFIG_HOME (default ~/.config)/Z-ORMIT_M350RGB/registry.reg
  static QString DefaultFilePath();

  QString FilePath() const { return filePath_; }

  // nullopt: missing or not a DWORD
  std::optional<std::uint32_t> GetDword(const QString& key, const QString& name) const;
  // nullopt: missing or not a string
  std::optional<QString> GetString(const QString& key, const QString& name) const;
  // false when the file could not be written; the previous file is then unchanged.
  bool SetDword(const QString& key, const QString& name, std::uint32_t value);
  bool SetString(const QString& key, const QString& name, const QString& value);
  // true when the value is gone afterwards (also when it never existed).
  bool DeleteValue(const QString& key, const QString& name);

  // Largest file that is parsed; a larger one counts as damaged.
  static constexpr qint64 kMaxFileBytes = 4 * 1024 * 1024;

  struct RawValue {
    QString text;  // the text after '=' exactly as found, for types we do not interpret
  };
  using Value = std::variant<std::uint32_t, QString, RawValue>;
  struct Entry {
    QString name;  // "" is the key's default value, written as @
    Value value;
  };
  struct Section {
    QString path;  // full path as written, e.g. "HKEY_CURRENT_USER\\Software\\X"
    std::vector<Entry> entries;
  };
  struct Contents {
    std::vector<Section> sections;
  };
  // Parses the text of a .reg file; nullopt when it is damaged.
  static std::optional<Contents> Parse(const QByteArray& bytes);
  static QByteArray Serialize(const Contents& contents);

 private:
  struct Snapshot {
    std::optional<FileStamp> stamp;  // nullopt: the file did not exist
    bool damaged = false;
    bool foreign = false;  // not a regular file: neither read nor replaced
    Contents contents;
  };
  // Brings snapshot_ up to date with the file; caller holds mutex_.
  void Refresh() const;
  const Value* Find(const QString& key, const QString& name) const;
  bool Store(const QString& key, const QString& name, std::optional<Value> value);

  QString filePath_;
  mutable std::mutex mutex_;
  mutable Snapshot snapshot_;
  mutable bool loaded_ = false;
  bool leftoversCleared_ = false;
};

}  // namespace kst
