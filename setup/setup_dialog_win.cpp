#include "setup/setup_dialog_win.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <exception>
#include <string>

#include "ui/glyphs_win.h"
#include "ui/win_util_win.h"
#include "forms/aux_forms.h"
#include "forms/setup_form.h"

namespace tesmuro::win {
namespace {

namespace layout = forms::setup;

constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
constexpr wchar_t kSheetClass[] = L"TSetupTabSheet";

std::wstring WindowText(HWND h) {
  const int n = GetWindowTextLengthW(h);
  if (n <= 0) return {};
  std::wstring s(static_cast<size_t>(n) + 1, L'\0');
  const int got = GetWindowTextW(h, s.data(), n + 1);
  s.resize(static_cast<size_t>(got > 0 ? got : 0));
  return s;
}

const wchar_t* ClassOf(layout::Kind k) {
  switch (k) {
    case layout::Kind::Edit: return L"EDIT";
    case layout::Kind::HotKey: return HOTKEY_CLASSW;
    case layout::Kind::Label: return L"STATIC";
    default: return L"BUTTON";
  }
}

DWORD StyleOf(const layout::Control& c) {
  DWORD s = WS_CHILD | (c.visible ? WS_VISIBLE : 0);
  switch (c.kind) {
    case layout::Kind::Check: return s | BS_AUTOCHECKBOX | WS_TABSTOP | WS_GROUP;
    // The three radio buttons form one group, which the next control closes.
    case layout::Kind::Radio: return s | BS_AUTORADIOBUTTON | (c.id == layout::kIdRdLoopNum ? WS_GROUP : 0);
    case layout::Kind::Edit: return s | ES_AUTOHSCROLL | WS_TABSTOP | WS_GROUP;
    case layout::Kind::HotKey: return s | WS_TABSTOP | WS_GROUP;
    case layout::Kind::Label: return s | SS_LEFT | SS_NOPREFIX | WS_GROUP;
    // A picture button that the keyboard does not stop at.
    case layout::Kind::GlyphButton: return s | BS_PUSHBUTTON | BS_BITMAP | WS_GROUP;
  }
  return s;
}

DWORD ExStyleOf(layout::Kind k) {
  return k == layout::Kind::Edit || k == layout::Kind::HotKey ? WS_EX_CLIENTEDGE : 0;
}

}  // namespace

SetupDialogWin::SetupDialogWin(Application& app) : app_(app) {}

SetupDialogWin::~SetupDialogWin() {
  if (hwnd_) DestroyWindow(hwnd_);
  for (HBITMAP b : bitmaps_) DeleteObject(b);
  if (font_) DeleteObject(font_);
}

bool SetupDialogWin::Create(HWND owner) {
  const HINSTANCE inst = GetModuleHandleW(nullptr);
  const std::wstring cls = Wide(forms::kSoftwareSetup.className);
  RegisterFormClass(cls.c_str(), &SetupDialogWin::Proc);
  RegisterFormClass(kSheetClass, &ForwardingPageProc);

  if (!CreateWindowExW(kExStyle, cls.c_str(), Wide(forms::kSoftwareSetup.caption).c_str(), kStyle, 0, 0, 100, 100,
                       owner, nullptr, inst, this))
    return false;
  dpi_ = DpiOf(hwnd_);
  const RECT r = CentredWindowRect(forms::kSoftwareSetup.clientWidth, forms::kSoftwareSetup.clientHeight, kStyle,
                                   kExStyle, false, dpi_);
  SetWindowPos(hwnd_, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
  BuildControls();
  Layout();
  ShowPage(0);
  return true;
}

void SetupDialogWin::BuildControls() {
  const HINSTANCE inst = GetModuleHandleW(nullptr);
  auto Id = [](int id) { return reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)); };

  // Creation order is the tab order: the pages with their controls, then the
  // two buttons. The page control is created first for its tabs but moved to
  // the end of that order below.
  tabs_ = CreateWindowExW(0, WC_TABCONTROLW, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_GROUP | WS_CLIPSIBLINGS,
                          0, 0, 0, 0, hwnd_, Id(layout::kIdPageControl), inst, nullptr);
  const char* tabCaptions[] = {layout::kTab1Caption, layout::kTab2Caption};
  for (int i = 0; i < 2; ++i) {
    std::wstring t = Wide(tabCaptions[i]);
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = t.data();
    SendMessageW(tabs_, TCM_INSERTITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    sheets_[i] = CreateWindowExW(WS_EX_CONTROLPARENT, kSheetClass, L"", WS_CHILD, 0, 0, 0, 0, hwnd_, nullptr, inst,
                                 nullptr);
  }
  group_ = CreateWindowExW(0, L"BUTTON", Wide(layout::kGroupCaption).c_str(), WS_CHILD | WS_VISIBLE | BS_GROUPBOX,
                           0, 0, 0, 0, sheets_[0], Id(layout::kIdGroupBox1), inst, nullptr);
  for (const auto& c : layout::kControls) {
    HWND parent = c.parent == layout::Parent::Sheet2 ? sheets_[1] : sheets_[0];
    HWND h = CreateWindowExW(ExStyleOf(c.kind), ClassOf(c.kind), Wide(c.caption).c_str(), StyleOf(c), 0, 0, 0, 0,
                             parent, Id(c.id), inst, nullptr);
    items_[c.id] = h;
    if (c.kind == layout::Kind::Edit) SendMessageW(h, EM_SETLIMITTEXT, 0, 0);  // no limit of its own
    if (c.kind == layout::Kind::HotKey)
      // A key alone or with Shift alone is taken without modifiers.
      SendMessageW(h, HKM_SETRULES, HKCOMB_NONE | HKCOMB_S, MAKELPARAM(0, 0));
  }
  items_[layout::kIdBitBtn1] =
      CreateWindowExW(0, L"BUTTON", Wide(layout::kBitBtn1Caption).c_str(),
                      WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_GROUP | BS_DEFPUSHBUTTON, 0, 0, 0, 0, hwnd_,
                      Id(layout::kIdBitBtn1), inst, nullptr);
  items_[layout::kIdBitBtn2] = CreateWindowExW(0, L"BUTTON", Wide(layout::kBitBtn2Caption).c_str(),
                                               WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON, 0, 0, 0,
                                               0, hwnd_, Id(layout::kIdBitBtn2), inst, nullptr);

  // At the bottom of the order the page control paints under the pages, not
  // over them, and Tab goes round page control, page, confirm, give up.
  SetWindowPos(tabs_, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

  tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, inst, nullptr);
  std::wstring hint = Wide(layout::kSBLoadHint);
  TOOLINFOW ti{};
  ti.cbSize = sizeof ti;
  ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  ti.hwnd = sheets_[1];
  ti.uId = reinterpret_cast<UINT_PTR>(Item(layout::kIdSBLoad));
  ti.lpszText = hint.data();
  SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
  UpdateRadioTabStops();
}

void SetupDialogWin::Layout() {
  auto S = [&](int v) { return Scale(v, dpi_); };
  if (font_) DeleteObject(font_);
  font_ = MakeFont(forms::kDialogFontName, forms::kDialogFontHeight, dpi_);
  const auto F = reinterpret_cast<WPARAM>(font_);
  for (HWND h : {tabs_, group_, tooltip_}) SendMessageW(h, WM_SETFONT, F, FALSE);
  for (auto& [id, h] : items_) SendMessageW(h, WM_SETFONT, F, FALSE);

  MoveWindow(tabs_, S(layout::kPageLeft), S(layout::kPageTop), S(layout::kPageWidth), S(layout::kPageHeight), TRUE);
  RECT page{S(layout::kPageLeft), S(layout::kPageTop), S(layout::kPageLeft + layout::kPageWidth),
            S(layout::kPageTop + layout::kPageHeight)};
  SendMessageW(tabs_, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&page));
  for (HWND s : sheets_) MoveWindow(s, page.left, page.top, page.right - page.left, page.bottom - page.top, TRUE);
  MoveWindow(group_, S(layout::kGroupLeft), S(layout::kGroupTop), S(layout::kGroupWidth), S(layout::kGroupHeight),
             TRUE);

  HDC dc = GetDC(hwnd_);
  auto oldFont = SelectObject(dc, font_);
  for (const auto& c : layout::kControls) {
    HWND h = Item(c.id);
    int x = c.x, y = c.y;
    if (c.parent == layout::Parent::Group1) {
      x += layout::kGroupLeft;
      y += layout::kGroupTop;
    }
    int w = S(c.w), hgt = S(c.h);
    if (c.kind == layout::Kind::Label && c.w == 0) {
      // The label takes the size of its text.
      const std::wstring t = Wide(c.caption);
      SIZE size{};
      GetTextExtentPoint32W(dc, t.c_str(), static_cast<int>(t.size()), &size);
      w = size.cx;
      hgt = size.cy;
    }
    MoveWindow(h, S(x), S(y), w, hgt, TRUE);
  }
  SelectObject(dc, oldFont);
  ReleaseDC(hwnd_, dc);

  MoveWindow(Item(layout::kIdBitBtn1), S(layout::kBitBtn1Left), S(layout::kButtonTop), S(layout::kButtonWidth),
             S(layout::kButtonHeight), TRUE);
  MoveWindow(Item(layout::kIdBitBtn2), S(layout::kBitBtn2Left), S(layout::kButtonTop), S(layout::kButtonWidth),
             S(layout::kButtonHeight), TRUE);

  // Pictures at the window's DPI; the old ones go once the buttons hold the new.
  std::vector<HBITMAP> old;
  old.swap(bitmaps_);
  const int glyph = S(16);
  const struct { int id; HBITMAP bmp; } pictures[] = {
      {layout::kIdSBLoad, DrawGlyph(forms::main::Glyph::Load, glyph)},
      {layout::kIdBitBtn1, DrawGlyph(forms::main::Glyph::Ok, glyph)},
      {layout::kIdBitBtn2, DrawGlyph(forms::main::Glyph::No, glyph)},
  };
  for (const auto& p : pictures) {
    bitmaps_.push_back(p.bmp);
    SendMessageW(Item(p.id), BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(p.bmp));
  }
  for (HBITMAP b : old) DeleteObject(b);
  InvalidateRect(hwnd_, nullptr, TRUE);
}

HWND SetupDialogWin::Item(int id) const {
  auto it = items_.find(id);
  return it == items_.end() ? nullptr : it->second;
}

bool SetupDialogWin::Checked(int id) const {
  return SendMessageW(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void SetupDialogWin::SetChecked(int id, bool on) {
  SendMessageW(Item(id), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

void SetupDialogWin::UpdateRadioTabStops() {
  // Tab reaches the group at its checked button, or at the first one when
  // none is checked.
  const int ids[] = {layout::kIdRdLoopNum, layout::kIdRdLoopKey, layout::kIdRdLoopTime};
  int stop = ids[0];
  for (int id : ids)
    if (Checked(id)) stop = id;
  for (int id : ids) {
    HWND h = Item(id);
    const LONG_PTR style = GetWindowLongPtrW(h, GWL_STYLE);
    SetWindowLongPtrW(h, GWL_STYLE, id == stop ? (style | WS_TABSTOP) : (style & ~static_cast<LONG_PTR>(WS_TABSTOP)));
  }
}

void SetupDialogWin::ShowPage(int index) {
  if (index < 0 || index > 1) return;
  SendMessageW(tabs_, TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
  HWND focus = GetFocus();
  const bool focusOnHidden = focus && IsChild(sheets_[1 - index], focus);
  ShowWindow(sheets_[index], SW_SHOW);
  ShowWindow(sheets_[1 - index], SW_HIDE);
  if (focusOnHidden) SetFocus(tabs_);
}

void SetupDialogWin::SetState(const setup::SetupDialogState& d) {
  namespace l = layout;
  auto Text = [&](int id, const std::string& t) { SetWindowTextW(Item(id), Wide(t).c_str()); };
  auto Key = [&](int id, uint16_t code) { SendMessageW(Item(id), HKM_SETHOTKEY, setup::ShortcutToHotKey(code), 0); };
  SetChecked(l::kIdChkMouse, d.ChkMouse);
  SetChecked(l::kIdChkKey, d.ChkKey);
  SetChecked(l::kIdChkJoy, d.ChkJoy);
  SetChecked(l::kIdChkRecMMouse, d.ChkRecMMouse);
  SetChecked(l::kIdChkRecMKey, d.ChkRecMKey);
  SetChecked(l::kIdRdLoopKey, d.RdLoopKey);
  SetChecked(l::kIdRdLoopNum, d.RdLoopNum);
  SetChecked(l::kIdRdLoopTime, d.RdLoopTime);
  UpdateRadioTabStops();
  Text(l::kIdEditLoopNum, d.EditLoopNum);
  Text(l::kIdEditHour, d.EditHour);
  Text(l::kIdEditMin, d.EditMin);
  Text(l::kIdEditSec, d.EditSec);
  Key(l::kIdHotKeyStart, d.HotKeyStart);
  Key(l::kIdHotKeyStop, d.HotKeyStop);
  Key(l::kIdHotKeyRec, d.HotKeyRec);
  SetChecked(l::kIdChkShortCut, d.ChkShortCut);
  SetChecked(l::kIdChkShutNumTime, d.ChkShutNumTime);
  SetChecked(l::kIdChkShutPassTime, d.ChkShutPassTime);
  SetChecked(l::kIdChkAutoRun, d.ChkAutoRun);
  Text(l::kIdEditPassH, d.EditPassH);
  Text(l::kIdEditPassM, d.EditPassM);
  Text(l::kIdEditPassS, d.EditPassS);
  Text(l::kIdEditAutoFileName, d.EditAutoFileName);
  SetChecked(l::kIdChkAutoShow, d.ChkAutoShow);
  SetChecked(l::kIdChkPostJoy, d.ChkPostJoy);
  SetChecked(l::kIdChkSendInput, d.ChkSendInput);
  Text(l::kIdEditSpeed, d.EditSpeed);
  SetChecked(l::kIdChkGameMode, d.ChkGameMode);
  SetChecked(l::kIdChkScaleToScreen, d.ChkScaleToScreen);
  SetChecked(l::kIdChkPlayKeyPlaysMemo, d.ChkPlayKeyPlaysMemo);
}

setup::SetupDialogState SetupDialogWin::State() {
  namespace l = layout;
  auto Text = [&](int id) { return Utf8(WindowText(Item(id))); };
  auto Key = [&](int id) {
    return setup::HotKeyToShortcut(static_cast<uint16_t>(SendMessageW(Item(id), HKM_GETHOTKEY, 0, 0)));
  };
  setup::SetupDialogState d;
  d.ChkMouse = Checked(l::kIdChkMouse);
  d.ChkKey = Checked(l::kIdChkKey);
  d.ChkJoy = Checked(l::kIdChkJoy);
  d.ChkRecMMouse = Checked(l::kIdChkRecMMouse);
  d.ChkRecMKey = Checked(l::kIdChkRecMKey);
  d.RdLoopKey = Checked(l::kIdRdLoopKey);
  d.RdLoopNum = Checked(l::kIdRdLoopNum);
  d.RdLoopTime = Checked(l::kIdRdLoopTime);
  d.EditLoopNum = Text(l::kIdEditLoopNum);
  d.EditHour = Text(l::kIdEditHour);
  d.EditMin = Text(l::kIdEditMin);
  d.EditSec = Text(l::kIdEditSec);
  d.HotKeyStart = Key(l::kIdHotKeyStart);
  d.HotKeyStop = Key(l::kIdHotKeyStop);
  d.HotKeyRec = Key(l::kIdHotKeyRec);
  d.ChkShortCut = Checked(l::kIdChkShortCut);
  d.ChkShutNumTime = Checked(l::kIdChkShutNumTime);
  d.ChkShutPassTime = Checked(l::kIdChkShutPassTime);
  d.ChkAutoRun = Checked(l::kIdChkAutoRun);
  d.EditPassH = Text(l::kIdEditPassH);
  d.EditPassM = Text(l::kIdEditPassM);
  d.EditPassS = Text(l::kIdEditPassS);
  d.EditAutoFileName = Text(l::kIdEditAutoFileName);
  d.ChkAutoShow = Checked(l::kIdChkAutoShow);
  d.ChkPostJoy = Checked(l::kIdChkPostJoy);
  d.ChkSendInput = Checked(l::kIdChkSendInput);
  d.EditSpeed = Text(l::kIdEditSpeed);
  d.ChkGameMode = Checked(l::kIdChkGameMode);
  d.ChkScaleToScreen = Checked(l::kIdChkScaleToScreen);
  d.ChkPlayKeyPlaysMemo = Checked(l::kIdChkPlayKeyPlaysMemo);
  return d;
}

int SetupDialogWin::ShowModal() {
  if (!hwnd_ || showing_) return 0;
  showing_ = true;
  result_ = 0;
  if (!focus_ || !IsWindowVisible(focus_)) focus_ = tabs_;
  app_.ShowModal(hwnd_, focus_, [this] { return result_ != 0 || !hwnd_; });
  const int result = result_;
  showing_ = false;
  return result;
}

void SetupDialogWin::End(int result) {
  if (showing_) result_ = result;
}

void SetupDialogWin::Confirm() {
  if (!showing_) return;
  auto show = [this](std::string_view text, std::string_view caption, unsigned style) {
    return MessageBoxW(hwnd_, Wide(text).c_str(), Wide(caption).c_str(), style);
  };
  try {
    // The box then shows whether the program really starts with the system,
    // and the settings record keeps that.
    SetChecked(layout::kIdChkAutoRun,
               setup::ConfirmSetup(result_, registry_, Checked(layout::kIdChkAutoRun), ExePath(), show));
  } catch (const std::exception& e) {
    ShowErrorBox(hwnd_, e.what());
  } catch (...) {
    ShowErrorBox(hwnd_, "");
  }
}

void SetupDialogWin::SBLoadClick() {
  std::wstring filter = Wide(layout::kOpenDlgFilter);
  for (auto& c : filter)
    if (c == L'|') c = L'\0';
  filter.push_back(L'\0');
  const std::wstring ext = Wide(layout::kOpenDlgDefaultExt);
  std::wstring file(32768, L'\0');
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = hwnd_;
  ofn.lpstrFilter = filter.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = static_cast<DWORD>(file.size());
  ofn.lpstrDefExt = ext.c_str();
  ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_NOCHANGEDIR;
  HWND edit = Item(layout::kIdEditAutoFileName);
  if (GetOpenFileNameW(&ofn)) {
    file.resize(wcslen(file.c_str()));
    SetWindowTextW(edit, file.c_str());
  }
  // The picture button keeps no focus of its own.
  SetFocus(edit);
}

void SetupDialogWin::OnCommand(int id, int code) {
  switch (id) {
    case layout::kIdBitBtn1:
      if (code == BN_CLICKED) Confirm();
      break;
    case layout::kIdBitBtn2:
      if (code == BN_CLICKED) End(setup::kResultGiveUp);
      break;
    case layout::kIdSBLoad:
      if (code == BN_CLICKED && showing_) SBLoadClick();
      break;
    case layout::kIdRdLoopNum:
    case layout::kIdRdLoopKey:
    case layout::kIdRdLoopTime:
      if (code == BN_CLICKED) UpdateRadioTabStops();
      break;
    default: break;
  }
}

LRESULT CALLBACK SetupDialogWin::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    static_cast<SetupDialogWin*>(cs->lpCreateParams)->hwnd_ = hwnd;
  }
  auto* self = reinterpret_cast<SetupDialogWin*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcW(hwnd, msg, wParam, lParam);
  if (msg == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->hwnd_ = nullptr;
    return DefWindowProcW(hwnd, msg, wParam, lParam);
  }
  try {
    return self->Handle(msg, wParam, lParam);
  } catch (...) {
    return DefWindowProcW(hwnd, msg, wParam, lParam);
  }
}

LRESULT SetupDialogWin::Handle(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_NOTIFY: {
      const auto* n = reinterpret_cast<const NMHDR*>(lParam);
      if (n->hwndFrom == tabs_ && n->code == TCN_SELCHANGE)
        ShowPage(static_cast<int>(SendMessageW(tabs_, TCM_GETCURSEL, 0, 0)));
      return 0;
    }
    case DM_GETDEFID:
      return MAKELRESULT(layout::kIdBitBtn1, DC_HASDEFID);
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) {
        HWND f = GetFocus();
        if (f && IsChild(hwnd_, f)) focus_ = f;
      } else if (focus_ && IsWindow(focus_) && IsWindowVisible(focus_)) {
        SetFocus(focus_);
      } else {
        SetFocus(tabs_);
      }
      return 0;
    case WM_CLOSE:
      if (showing_)
        End(setup::kResultClose);
      else
        ShowWindow(hwnd_, SW_HIDE);  // the dialog lives until the program ends
      return 0;
    case WM_DPICHANGED: {
      dpi_ = HIWORD(wParam);
      const auto* r = reinterpret_cast<const RECT*>(lParam);
      SetWindowPos(hwnd_, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      Layout();
      return 0;
    }
    default:
      return DefWindowProcW(hwnd_, msg, wParam, lParam);
  }
}

std::string Utf8ToAnsiName(std::string_view utf8) {
  const std::wstring w = Wide(utf8);
  auto Convert = [](const std::wstring& wide, std::string& out) {
    out.clear();
    if (wide.empty()) return true;
    BOOL lossy = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                                      nullptr, 0, nullptr, &lossy);
    if (n <= 0) return false;
    out.assign(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), out.data(), n,
                        nullptr, &lossy);
    return !lossy;
  };
  std::string ansi;
  if (Convert(w, ansi)) return ansi;
  // The code page can't hold the name; the file's short name may.
  const DWORD need = GetShortPathNameW(w.c_str(), nullptr, 0);
  if (need > 0) {
    std::wstring shortName(need, L'\0');
    const DWORD got = GetShortPathNameW(w.c_str(), shortName.data(), need);
    if (got > 0 && got < need) {
      shortName.resize(got);
      std::string shortAnsi;
      if (Convert(shortName, shortAnsi)) return shortAnsi;
    }
  }
  return ansi;
}

}  // namespace tesmuro::win
