#include "setup/setup_dialog_win.h"

#include <commctrl.h>

#include <exception>
#include <string>
#include <string_view>
#include <variant>

#include "ui/file_dialog_win.h"
#include "ui/glyphs_win.h"
#include "ui/message_box.h"
#include "ui/win_util_win.h"
#include "ui/window_proc_win.h"
#include "util/shortcut.h"
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
  RegisterFormClass(cls.c_str(), &WindowProcOf<SetupDialogWin, &SetupDialogWin::Handle, &SetupDialogWin::hwnd_>);
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
  const char* tabCaptions[] = {layout::kTab1Caption, layout::kTab2Caption, layout::kTab3Caption};
  for (int i = 0; i < 3; ++i) {
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
    if (c.parent == layout::Parent::Sheet3) parent = sheets_[2];
    HWND h = CreateWindowExW(ExStyleOf(c.kind), ClassOf(c.kind), Wide(c.caption).c_str(), StyleOf(c), 0, 0, 0, 0,
                             parent, Id(c.id), inst, nullptr);
    items_[c.id] = h;
    if (c.kind == layout::Kind::Edit) SendMessageW(h, EM_SETLIMITTEXT, 0, 0);  // no limit of its own
    if (c.kind == layout::Kind::HotKey)
      // A key alone or with Shift alone is taken without modifiers.
      SendMessageW(h, HKM_SETRULES, HKCOMB_NONE | HKCOMB_S, MAKELPARAM(0, 0));
  }
  BuildScriptRows(inst);
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
  std::wstring browseHint = Wide(layout::kScriptBrowseHint);
  ti.hwnd = sheets_[2];
  ti.lpszText = browseHint.data();
  for (int row = 0; row < layout::kScriptRows; ++row) {
    ti.uId = reinterpret_cast<UINT_PTR>(Item(layout::ScriptRowId(row, layout::kScriptBrowse)));
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
  }
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
    PlaceLabel(dc, h, x, y, c.w, c.h);
  }
  LayoutScriptRows(dc);
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
  // The rows' file buttons share one picture.
  bitmaps_.push_back(DrawGlyph(forms::main::Glyph::Load, glyph));
  for (int row = 0; row < layout::kScriptRows; ++row)
    SendMessageW(Item(layout::ScriptRowId(row, layout::kScriptBrowse)), BM_SETIMAGE, IMAGE_BITMAP,
                 reinterpret_cast<LPARAM>(bitmaps_.back()));
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
  if (index < 0 || index > 2) return;
  SendMessageW(tabs_, TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
  HWND focus = GetFocus();
  bool focusOnHidden = false;
  for (int i = 0; i < 3; ++i)
    if (i != index && focus && IsChild(sheets_[i], focus)) focusOnHidden = true;
  ShowWindow(sheets_[index], SW_SHOW);
  for (int i = 0; i < 3; ++i)
    if (i != index) ShowWindow(sheets_[i], SW_HIDE);
  if (focusOnHidden) SetFocus(tabs_);
}

void SetupDialogWin::Put(int id, const std::string& text) { SetWindowTextW(Item(id), Wide(text).c_str()); }

void SetupDialogWin::Put(int id, uint16_t shortcut) {
  SendMessageW(Item(id), HKM_SETHOTKEY, setup::ShortcutToHotKey(shortcut), 0);
}

void SetupDialogWin::Get(int id, std::string& text) const { text = Utf8(WindowText(Item(id))); }

void SetupDialogWin::Get(int id, uint16_t& shortcut) const {
  shortcut = setup::HotKeyToShortcut(static_cast<uint16_t>(SendMessageW(Item(id), HKM_GETHOTKEY, 0, 0)));
}

// Check boxes and radio buttons are known by their ids alone; every other
// link names its member of the state.
void SetupDialogWin::SetState(const setup::SetupDialogState& d) {
  for (const setup::SetupField& f : setup::SetupFields())
    std::visit(
        [&](const auto& l) {
          if constexpr (requires { l.box; })
            Put(f.control, d.*l.box);
          else
            SetChecked(f.control, d.Checked(f.control));
        },
        f.link);
  PutScriptKeys(d);
  UpdateRadioTabStops();
}

setup::SetupDialogState SetupDialogWin::State() {
  setup::SetupDialogState d;
  for (const setup::SetupField& f : setup::SetupFields())
    std::visit(
        [&](const auto& l) {
          if constexpr (requires { l.box; })
            Get(f.control, d.*l.box);
          else
            d.Check(f.control, Checked(f.control));
        },
        f.link);
  GetScriptKeys(d);
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
  // A value that cannot be taken keeps the dialog open on its page, with
  // nothing saved and every other box as the user left it; the box is
  // selected for retyping.
  auto refuse = [&](int page, const std::string& message, HWND box) {
    ShowPage(page);
    focus_ = box;  // where the focus goes back when the message box closes
    show(message, text::kNotice, MB_OK | MB_ICONWARNING);
    SetFocus(box);
    wchar_t cls[16] = {};
    GetClassNameW(box, cls, 16);
    if (lstrcmpiW(cls, L"EDIT") == 0) SendMessageW(box, EM_SETSEL, 0, -1);
  };
  const setup::SetupDialogState state = State();
  if (const auto bad = setup::CheckSetupDialog(state)) {
    refuse(setup::SetupPageOf(bad->control), bad->message, Item(bad->control));
    return;
  }
  const setup::ScriptKeysRead keys =
      setup::ReadScriptKeys(state, [this](uint16_t shortcut) { return SystemRefuses(shortcut); });
  if (!keys.refusal.empty()) {
    refuse(2, keys.refusal, Item(layout::ScriptRowId(keys.row, layout::kScriptKey)));
    return;
  }
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
  HWND edit = Item(layout::kIdEditAutoFileName);
  if (auto name = AskOpenFileName(hwnd_, layout::kOpenDlgFilter, layout::kOpenDlgDefaultExt))
    SetWindowTextW(edit, name->c_str());
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
    default:
      if (const int row = (id - layout::kIdScriptRowFirst) / layout::kScriptColumns;
          id >= layout::kIdScriptRowFirst && row < layout::kScriptRows &&
          id == layout::ScriptRowId(row, layout::kScriptBrowse) && code == BN_CLICKED && showing_)
        ScriptBrowseClick(row);
      break;
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

void SetupDialogWin::PlaceLabel(HDC dc, HWND h, int x, int y, int w, int hgt) {
  auto S = [&](int v) { return Scale(v, dpi_); };
  int width = S(w), height = S(hgt);
  wchar_t cls[16] = {};
  GetClassNameW(h, cls, 16);
  if (w == 0 && lstrcmpiW(cls, L"STATIC") == 0) {
    // The label takes the size of its text.
    const std::wstring t = WindowText(h);
    SIZE size{};
    GetTextExtentPoint32W(dc, t.c_str(), static_cast<int>(t.size()), &size);
    width = size.cx;
    height = size.cy;
  }
  MoveWindow(h, S(x), S(y), width, height, TRUE);
}

// ---- the third page: script hot keys ----

void SetupDialogWin::BuildScriptRows(HINSTANCE inst) {
  auto Id = [](int id) { return reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)); };
  for (const auto& c : layout::kScriptLabels)
    items_[c.id] = CreateWindowExW(0, L"STATIC", Wide(c.caption).c_str(), StyleOf(c), 0, 0, 0, 0, sheets_[2],
                                   Id(c.id), inst, nullptr);
  // Row by row, in the tab order: key, file, passes (the file button is a
  // picture button, which the keyboard does not stop at).
  for (int row = 0; row < layout::kScriptRows; ++row) {
    const int key = layout::ScriptRowId(row, layout::kScriptKey);
    const int file = layout::ScriptRowId(row, layout::kScriptFile);
    const int browse = layout::ScriptRowId(row, layout::kScriptBrowse);
    const int passes = layout::ScriptRowId(row, layout::kScriptPasses);
    items_[key] = CreateWindowExW(WS_EX_CLIENTEDGE, HOTKEY_CLASSW, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_GROUP,
                                  0, 0, 0, 0, sheets_[2], Id(key), inst, nullptr);
    SendMessageW(items_[key], HKM_SETRULES, HKCOMB_NONE | HKCOMB_S, MAKELPARAM(0, 0));
    items_[file] = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                                   WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL | WS_TABSTOP | WS_GROUP, 0, 0, 0, 0,
                                   sheets_[2], Id(file), inst, nullptr);
    SendMessageW(items_[file], EM_SETLIMITTEXT, 0, 0);
    items_[browse] = CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON | BS_BITMAP | WS_GROUP,
                                     0, 0, 0, 0, sheets_[2], Id(browse), inst, nullptr);
    items_[passes] = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                                     WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL | WS_TABSTOP | WS_GROUP, 0, 0, 0, 0,
                                     sheets_[2], Id(passes), inst, nullptr);
    SendMessageW(items_[passes], EM_SETLIMITTEXT, 16, 0);
  }
}

void SetupDialogWin::LayoutScriptRows(HDC dc) {
  for (const auto& c : layout::kScriptLabels) PlaceLabel(dc, Item(c.id), c.x, c.y, c.w, c.h);
  for (int row = 0; row < layout::kScriptRows; ++row)
    for (int col = 0; col < layout::kScriptColumns; ++col) {
      const auto& place = layout::kScriptColumnPlaces[col];
      const int y = layout::kScriptRowTop + row * layout::kScriptRowStep;
      PlaceLabel(dc, Item(layout::ScriptRowId(row, static_cast<layout::ScriptColumn>(col))), place.x, y, place.w,
                 place.h);
    }
}

void SetupDialogWin::PutScriptKeys(const setup::SetupDialogState& d) {
  for (int row = 0; row < layout::kScriptRows; ++row) {
    const setup::ScriptKeyBoxes& b = d.ScriptKeys[static_cast<size_t>(row)];
    Put(layout::ScriptRowId(row, layout::kScriptKey), b.key);
    Put(layout::ScriptRowId(row, layout::kScriptFile), b.script);
    Put(layout::ScriptRowId(row, layout::kScriptPasses), b.passes);
  }
}

void SetupDialogWin::GetScriptKeys(setup::SetupDialogState& d) const {
  for (int row = 0; row < layout::kScriptRows; ++row) {
    setup::ScriptKeyBoxes& b = d.ScriptKeys[static_cast<size_t>(row)];
    Get(layout::ScriptRowId(row, layout::kScriptKey), b.key);
    Get(layout::ScriptRowId(row, layout::kScriptFile), b.script);
    Get(layout::ScriptRowId(row, layout::kScriptPasses), b.passes);
  }
}

void SetupDialogWin::ScriptBrowseClick(int row) {
  HWND edit = Item(layout::ScriptRowId(row, layout::kScriptFile));
  if (auto name = AskOpenFileName(hwnd_, layout::kOpenDlgFilter, layout::kOpenDlgDefaultExt))
    SetWindowTextW(edit, name->c_str());
  SetFocus(edit);
}

bool SetupDialogWin::SystemRefuses(uint16_t shortcut) {
  // Held for a moment by the dialog itself: the system refuses a key that
  // another program has registered, or that it keeps for itself.
  constexpr int kProbeId = 0xBF00;
  const Shortcut key(shortcut);
  UINT mods = 0;
  if (key.Shift()) mods |= MOD_SHIFT;
  if (key.Ctrl()) mods |= MOD_CONTROL;
  if (key.Alt()) mods |= MOD_ALT;
  if (!RegisterHotKey(hwnd_, kProbeId, mods, key.Key())) return true;
  UnregisterHotKey(hwnd_, kProbeId);
  return false;
}

}  // namespace tesmuro::win
