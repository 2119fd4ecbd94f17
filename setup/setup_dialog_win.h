// The settings dialog on Windows: its window, the controls of its layout and
// the modal loop. What the controls mean is in setup/setup_dialog.h.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "ui/application_win.h"
#include "setup/auto_run_win.h"
#include "setup/setup_dialog.h"

namespace tesmuro::win {

class SetupDialogWin : public setup::ISetupDialog {
 public:
  explicit SetupDialogWin(Application& app);
  ~SetupDialogWin() override;
  SetupDialogWin(const SetupDialogWin&) = delete;
  SetupDialogWin& operator=(const SetupDialogWin&) = delete;

  // Builds the dialog, hidden and centred on the desktop, owned by `owner`
  // (which a modal showing disables).
  bool Create(HWND owner);
  HWND Handle() const { return hwnd_; }

  // ISetupDialog
  void SetState(const setup::SetupDialogState& state) override;
  setup::SetupDialogState State() override;
  int ShowModal() override;
  bool Showing() const override { return showing_; }

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept;
  LRESULT Handle(UINT msg, WPARAM wParam, LPARAM lParam);
  void BuildControls();
  void Layout();
  void ShowPage(int index);
  void OnCommand(int id, int code);
  void Confirm();
  void End(int result);
  void SBLoadClick();
  void UpdateRadioTabStops();
  HWND Item(int id) const;
  bool Checked(int id) const;
  void SetChecked(int id, bool on);

  Application& app_;
  HWND hwnd_ = nullptr;
  HWND tabs_ = nullptr;
  HWND sheets_[2] = {nullptr, nullptr};
  HWND group_ = nullptr;
  HWND tooltip_ = nullptr;
  HWND focus_ = nullptr;  // the control that had the focus when the dialog was last active
  std::map<int, HWND> items_;
  std::vector<HBITMAP> bitmaps_;
  HFONT font_ = nullptr;
  UINT dpi_ = 96;
  int result_ = 0;
  bool showing_ = false;
  WinRegistry registry_;
};

// A UTF-8 file name in the system's ANSI code page, as the settings file
// keeps it. A name the code page can't hold is given by its short form when
// the file has one that it can; otherwise unrepresentable characters become
// the code page's default character.
std::string Utf8ToAnsiName(std::string_view utf8);

}  // namespace tesmuro::win
