#pragma once

// The host of kestrunectl's operations when no window process runs: the
// keyboard opened through the service library, the store loaded from it as
// the window loads it on connection, and a lighting model that shows
// nothing. Messages meant for the user's message boxes are kept for the
// command's error line.

#include <QString>

#include <memory>

#include "ctl/CtlOperations.h"
#include "platform/AppPaths.h"

namespace kst {

class Registry;

class StandaloneCtlHost final : public CtlHost {
 public:
  // serviceFolder: where the service libraries lie; simulated: which one.
  StandaloneCtlHost(const AppPaths& paths, const QString& serviceFolder, bool simulated);
  ~StandaloneCtlHost() override;

  // Loads the service library and connects to the keyboard (waits for the
  // connection to settle). False, with why, when the service library cannot
  // be loaded; a missing keyboard is no failure here (Device() is null).
  bool Open(QString& why);

  Language& Lang() override;
  LightingDevice* Device() override;
  LightingModel* Lighting() override;
  int SwitchProfile(int profile) override;
  AssignmentStore& Store() override;
  ProfileFiles& Files() override;
  int ApplyStore() override;
  int Import(const QString& path, int& uploaded) override;
  QString TakeMessage() override;
  // Tells a keyboard that is plugged in but refuses this user (with the
  // command that lets the user open it) from one that is not there.
  QString WhyNoKeyboard() override;

 private:
  struct Parts;
  std::unique_ptr<Parts> parts_;
};

}  // namespace kst
