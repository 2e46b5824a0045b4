#pragma once

// Plugs the lighting into the main window: the lighting panel in the lower
// half, the model over the window's device link, key clicks that paint in
// edit mode, the reload when the keyboard connects and the reset after its
// factory reset. The window knows the lighting only through its Parts hooks;
// this object lives as long as the window and must be destroyed before it.

#include <memory>

namespace kst {

struct AppContext;
class CKestruneDlg;
class LightingModel;
class LightingPanel;

class MainWindowLighting {
 public:
  MainWindowLighting(CKestruneDlg& window, AppContext& context);
  ~MainWindowLighting();
  MainWindowLighting(const MainWindowLighting&) = delete;
  MainWindowLighting& operator=(const MainWindowLighting&) = delete;

  // Null until the window has laid out its parts.
  LightingModel* Model();
  LightingPanel* Panel();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace kst
