// Start-up until the main window exists: print the chosen language and the
// key table. "--list-keys" prints only the key table.

#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>

#include <cstdio>

#include "app/KeyListing.h"
#include "foundation/Language.h"
#include "platform/AppPaths.h"
#include "platform/Registry.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const kst::AppPaths paths =
      kst::AppPaths::FromEnvironment(QCoreApplication::applicationDirPath());
  kst::Registry registry(paths.registryFile);
  kst::Language language(registry, paths.programFolder);

  QTextStream out(stdout);
  if (!QCoreApplication::arguments().contains(QStringLiteral("--list-keys"))) {
    kst::WriteLanguageLine(out, language);
  }
  kst::WriteKeyListing(out, language);
  return 0;
}
