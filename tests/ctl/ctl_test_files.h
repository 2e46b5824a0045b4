#pragma once
// Profile files for the command line's tests, written as an export writes
// them.

#include <gtest/gtest.h>

#include <QString>

#include <mutex>
#include <vector>

#include "store/AssignmentStore.h"
#include "store/ProfileFiles.h"

namespace kst::ctltest {

// Writes store's whole configuration (block, macros, texts) to path.
inline ::testing::AssertionResult WriteStoreFile(AssignmentStore& store, const QString& path) {
  std::lock_guard lock(store.Lock());
  const std::vector<std::uint8_t> text = store.PrepareForWrite();
  std::vector<std::uint8_t> image(store.Block().begin(), store.Block().end());
  image.insert(image.end(), store.MacroArray().begin(), store.MacroArray().end());
  image.insert(image.end(), text.begin(), text.end());
  if (!WriteProfileImage(path, image, nullptr))
    return ::testing::AssertionFailure() << "cannot write " << path.toStdString();
  return ::testing::AssertionSuccess();
}

}  // namespace kst::ctltest
