#pragma once

#include <QString>

namespace kst {

// The folders and files the program works with. Built once at start-up and
// handed down; tests build their own over temporary folders.
struct AppPaths {
  QString programFolder;  // folder of the executable: Lang*.ini, Skins/, Help/, service libraries
  QString dataFolder;     // per-user data: $XDG_DATA_HOME (default ~/.local/share)/Z-ORMIT M350RGB
                          // (NOT created here)
  QString registryFile;   // Registry::DefaultFilePath()

  static AppPaths FromEnvironment(const QString& programFolder);
};

// The folder of the program's data files. Installed, the executable lies in
// <prefix>/bin and its data in <prefix>/share/kestrune; in the build tree
// both lie in one folder.
QString ResolveProgramFolder(const QString& executableFolder);

}  // namespace kst
