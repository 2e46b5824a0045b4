#pragma once

#include "foundation/KeyCodeTable.h"

namespace kst {

// Set by the main window on the store: redraws the key button that shows an
// entry after the store changed it on its own (a dropped macro assignment).
// Called on the thread that changed the store, with the store's lock held.
class KeyButtonRefresher {
 public:
  virtual ~KeyButtonRefresher() = default;
  virtual void RefreshKeyButton(int profile, AssignmentSlot slot) = 0;
};

}  // namespace kst
