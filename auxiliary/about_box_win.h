// The About box on Windows: created hidden at start-up, shown modally by the
// Help menu's About command and hidden again, the same object every time.
#pragma once

#include <windows.h>

#include <string>

#include "ui/application_win.h"

namespace tesmuro::win {

class AboutBoxWin {
 public:
  explicit AboutBoxWin(Application& app);
  ~AboutBoxWin();
  AboutBoxWin(const AboutBoxWin&) = delete;
  AboutBoxWin& operator=(const AboutBoxWin&) = delete;

  // Builds the box, hidden and centred on the screen, owned by `owner`
  // (which a modal showing disables).
  bool Create(HWND owner);
  // The folder the settings are kept in (UTF-8), as the box names it.
  void SetSettingsFolder(const std::string& folder);
  HWND Handle() const { return hwnd_; }
  // Shows the box and returns when OK, Enter, Esc or the close box has
  // closed it; returns the modal result (1 for OK, 2 otherwise).
  int ShowModal();
  bool Showing() const { return showing_; }

 private:
  LRESULT Handle(UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT HandlePanel(UINT msg, WPARAM wParam, LPARAM lParam);
  void PaintPanel();
  void End(int result);

  Application& app_;
  HWND hwnd_ = nullptr;
  HWND panel_ = nullptr;
  HWND ok_ = nullptr;
  HWND folder_ = nullptr;
  HFONT font_ = nullptr;
  HICON icon_ = nullptr;
  UINT dpi_ = 96;
  int result_ = 0;
  bool showing_ = false;
};

}  // namespace tesmuro::win
