#pragma once

// Plugs the profile bar into the main window: its buttons once the window
// lays out its parts, its commands, the switch every other part asks for,
// the following of the keyboard's own profile key, and the report-rate
// buttons after each lighting reload. Lives as long as the window and must
// be destroyed before it.

#include <functional>
#include <memory>

namespace kst {

struct AppContext;
class CKestruneDlg;
class LightingModel;
class ProfileBar;

class MainWindowProfiles {
 public:
  // lighting: the lighting model once laid out (may give null).
  MainWindowProfiles(CKestruneDlg& window, AppContext& context,
                     std::function<LightingModel*()> lighting);
  ~MainWindowProfiles();
  MainWindowProfiles(const MainWindowProfiles&) = delete;
  MainWindowProfiles& operator=(const MainWindowProfiles&) = delete;

  ProfileBar& Bar() { return *bar_; }

 private:
  std::unique_ptr<ProfileBar> bar_;
};

}  // namespace kst
