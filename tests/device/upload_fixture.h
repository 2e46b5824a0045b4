#pragma once
// What the upload and rebuild tests stand on, each test its own: a temporary
// folder with the settings file, the language, the store with its files, the
// upload snapshot and a host that records what the upload tells the window.

#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "device/UploadSnapshot.h"
#include "foundation/Language.h"
#include "platform/AppPaths.h"
#include "platform/Registry.h"
#include "store/AssignmentStore.h"
#include "store/MessageBoxes.h"
#include "store/ProfileFiles.h"
#include "upload_sim_rig.h"

namespace kst::uploadtest {

// Answers every question No, as a user who closes the box would.
class SilentBoxes : public MessageBoxes {
 public:
  bool Show(const QString&, MessageKind) override { return false; }
};

class UploadFixture : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir.isValid()); }

  QTemporaryDir dir;
  Registry registry{dir.path() + "/registry.reg"};
  Language language{registry, QStringLiteral(KST_BIN_DIR)};
  AppPaths paths{QStringLiteral(KST_BIN_DIR), dir.path() + "/data", dir.path() + "/registry.reg"};
  SilentBoxes boxes;
  AssignmentStore store;
  ProfileFiles files{store, paths, language, boxes};
  UploadSnapshot snapshot;
  RecordingUploadHost host;
};

}  // namespace kst::uploadtest
