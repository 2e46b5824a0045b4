#pragma once

// The persistent mark that the keyboard owes an upload: an upload that began
// writing and did not complete left the keyboard with part of the user's
// configuration, so until an upload completes the working profile file, not
// the keyboard, holds that configuration. The mark is a DWORD value in the
// settings key, so a restart knows it too; the registry stand-in replaces its
// file atomically on every change.

#include <QString>

namespace kst {

class Registry;

inline constexpr const char* kOwedUploadValue = "dwUploadOwed";

class OwedUpload {
 public:
  // registry must outlive this object. The value lives under key (the
  // settings key).
  OwedUpload(Registry& registry, QString key);

  // Whether an upload is owed.
  bool IsOwed() const;
  // Records that an upload is owed; false when it cannot be recorded.
  bool Set();
  // Records that nothing is owed; false when it cannot be recorded.
  bool Clear();

 private:
  Registry& registry_;
  QString key_;
};

}  // namespace kst
