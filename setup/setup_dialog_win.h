// The settings dialog on Windows: its window, the controls of its layout and
// the modal loop. What the controls mean is in setup/setup_dialog.h.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
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
  LRESULT Handle(UINT msg, WPARAM wParam, LPARAM lParam);
  void BuildControls();
  void Layout();
  void ShowPage(int index);
  void OnCommand(int id, int code);
  void Confirm();
  void End(int result);
  void SBLoadClick();
  // The third page: the rows' controls, a row's file button, and whether the
  // system gives the program a key (another program may hold it).
  void BuildScriptRows(HINSTANCE inst);
  void LayoutScriptRows(HDC dc);
  void ScriptBrowseClick(int row);
  bool SystemRefuses(uint16_t shortcut);
  void PutScriptKeys(const setup::SetupDialogState& d);
  void GetScriptKeys(setup::SetupDialogState& d) const;
  void UpdateRadioTabStops();
  HWND Item(int id) const;
  bool Checked(int id) const;
  void SetChecked(int id, bool on);
  // A control's value, by the type of its member of SetupDialogState.
  void Put(int id, const std::string& text);
  void Put(int id, uint16_t shortcut);
  void Get(int id, std::string& text) const;
  void Get(int id, uint16_t& shortcut) const;
  // A label's size: its text's, where the layout gives none.
  void PlaceLabel(HDC dc, HWND h, int x, int y, int w, int hgt);

  Application& app_;
  HWND hwnd_ = nullptr;
  HWND tabs_ = nullptr;
  HWND sheets_[3] = {nullptr, nullptr, nullptr};
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

}  // namespace tesmuro::win
