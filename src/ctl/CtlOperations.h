#pragma once

// The sub-commands of kestrunectl as operations over a small host: the
// keyboard's device link, the store and the lighting model of whoever owns
// the keyboard (kestrunectl itself, or the running utility's window, which
// runs the same operations on its own parts).

#include <QString>

#include <cstdint>

#include "ctl/CtlCommand.h"

namespace kst {

class AssignmentStore;
class Language;
class LightingDevice;
class LightingModel;
class ProfileFiles;

class CtlHost {
 public:
  virtual ~CtlHost() = default;
  virtual Language& Lang() = 0;
  // The keyboard's commands; null when no keyboard is found.
  virtual LightingDevice* Device() = 0;
  // The lighting model over Device(); null when no keyboard is found.
  virtual LightingModel* Lighting() = 0;
  // Switches the keyboard to profile (0-3) as the profile buttons do: 1, or
  // the failing command's result.
  virtual int SwitchProfile(int profile) = 0;
  // Holds what the keyboard holds (loaded when the keyboard was found).
  virtual AssignmentStore& Store() = 0;
  virtual ProfileFiles& Files() = 0;
  // Apply: saves the working file and writes the current profile: 1, or 0.
  virtual int ApplyStore() = 0;
  // The window's import of the file, with the upload of all four profiles:
  // 1 loaded (uploaded gets the upload's result), 0 refused.
  virtual int Import(const QString& path, int& uploaded) = 0;
  // The last message the store, the files or the upload had for the user,
  // taken (empty when none).
  virtual QString TakeMessage() = 0;
  // Why Device() is null, in one line.
  virtual QString WhyNoKeyboard();
};

// Why no keyboard answers, in one line.
QString NotFoundReason(CtlHost& host);

// Runs every sub-command but dump (which needs no host, see CtlDump.h).
CtlResult RunCtlRequest(const CtlRequest& request, CtlHost& host);

}  // namespace kst
