#pragma once

#include <QString>

namespace kst {

// Set by the lighting subsystem on the profile files: fills a newly created
// profile folder with the files it keeps there (the lighting mode files).
// Called once, right after the folder was created.
class ProfileFolderSeeder {
 public:
  virtual ~ProfileFolderSeeder() = default;
  virtual void SeedProfileFolder(const QString& folder) = 0;
};

}  // namespace kst
