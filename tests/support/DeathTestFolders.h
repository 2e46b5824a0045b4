#pragma once

// A death test in the "threadsafe" style runs the test again in a new
// process up to the statement that ends it, and that process never removes
// the temporary folders its fixture made (the statement ends it at once).
// While a DeathTestFolders lives, new temporary folders, of this process and
// of the processes it starts, are made inside `parent` (a folder the test
// removes), so that nothing is left behind in the system's temporary folder.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

namespace kst::test {

class DeathTestFolders {
 public:
  explicit DeathTestFolders(const QString& parent)
      : had_(qEnvironmentVariableIsSet("TMPDIR")), old_(qgetenv("TMPDIR")) {
    const QString folder = parent + QStringLiteral("/death-tests");
    QDir().mkpath(folder);
    qputenv("TMPDIR", QFile::encodeName(folder));
  }
  ~DeathTestFolders() {
    if (had_) {
      qputenv("TMPDIR", old_);
    } else {
      qunsetenv("TMPDIR");
    }
  }
  DeathTestFolders(const DeathTestFolders&) = delete;
  DeathTestFolders& operator=(const DeathTestFolders&) = delete;

 private:
  bool had_;
  QByteArray old_;
};

}  // namespace kst::test
