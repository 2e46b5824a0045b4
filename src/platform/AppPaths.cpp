#include "platform/AppPaths.h"

#include <QDir>
#include <QFileInfo>

#include "platform/Registry.h"

namespace kst {

namespace {

// An XDG base directory variable counts only when it holds an absolute path.
QString XdgFolder(const char* variable, const QString& fallbackBelowHome) {
  const QString value = qEnvironmentVariable(variable);
  if (!value.isEmpty() && QDir::isAbsolutePath(value)) return QDir::cleanPath(value);
  return QDir::cleanPath(QDir::homePath() + QLatin1Char('/') + fallbackBelowHome);
}

}  // namespace

AppPaths AppPaths::FromEnvironment(const QString& programFolder) {
  AppPaths paths;
  paths.programFolder = QDir::cleanPath(programFolder);
  paths.dataFolder = XdgFolder("XDG_DATA_HOME", QStringLiteral(".local/share")) +
                     QStringLiteral("/Z-ORMIT M350RGB");
  paths.registryFile = Registry::DefaultFilePath();
  return paths;
}

QString ResolveProgramFolder(const QString& executableFolder) {
  const QString installed =
      QDir::cleanPath(executableFolder + QStringLiteral("/../share/kestrune"));
  if (QFileInfo(installed).isDir()) return installed;
  return QDir::cleanPath(executableFolder);
}

}  // namespace kst
