#include "app/main_window_win.h"

#include <commctrl.h>
#include <mmsystem.h>
#include <shellapi.h>
#include <windowsx.h>

#include <exception>

#include "ui/area_picker_win.h"
#include "ui/glyphs_win.h"
#include "app/texts.h"
#include "ui/file_dialog_win.h"
#include "ui/win_util_win.h"
#include "ui/window_proc_win.h"
#include "forms/main_form.h"
#include "util/file_io.h"

namespace tesmuro::win {
namespace {

namespace layout = forms::main;

constexpr UINT kHookEventsMsg = WM_APP + 10;
constexpr UINT kHotKeyMsg = WM_APP + 11;  // a hot key's command waits in pump_
constexpr UINT_PTR kRecoveryTimer = 3;  // recovery journal and mouse capture
constexpr UINT_PTR kTickTimer = 2;
constexpr UINT kTickMs = 250;
constexpr wchar_t kSheetClass[] = L"TTabSheet";
constexpr DWORD kMainStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

}  // namespace

MainWindowWin::MainWindowWin(Application& app, SystemServices services) : app_(app), services_(std::move(services)) {}

MainWindowWin::~MainWindowWin() {
  logic_.reset();
  hooks_.reset();
  for (HBITMAP b : glyphs_) DeleteObject(b);
  if (accelerators_) DestroyAcceleratorTable(accelerators_);
  if (font_) DeleteObject(font_);
}

template <class F>
void MainWindowWin::Guard(F&& f) noexcept {
  try {
    f();
    return;
  } catch (const std::exception& e) {
    if (!quiet_) ShowErrorBox(IsWindowVisible(hwnd_) ? hwnd_ : nullptr, e.what());
  } catch (...) {
    if (!quiet_) ShowErrorBox(IsWindowVisible(hwnd_) ? hwnd_ : nullptr, "");
  }
  // An unattended run ends at its first error, with the error's exit code.
  if (quiet_) {
    exitCode_ = kExitError;
    PostMessageW(hwnd_, WM_CLOSE, 0, 0);
  }
}

bool MainWindowWin::Create() {
  const HINSTANCE inst = GetModuleHandleW(nullptr);
  const std::wstring className = Wide(layout::kClassName);
  RegisterFormClass(className.c_str(), &WindowProcOf<MainWindowWin, &MainWindowWin::Handle, &MainWindowWin::hwnd_>,
                    /*withIcon=*/true);
  RegisterFormClass(kSheetClass, &ForwardingPageProc);

  hwnd_ = CreateWindowExW(0, className.c_str(), Wide(layout::kCaption).c_str(), kMainStyle, CW_USEDEFAULT,
                          CW_USEDEFAULT, 100, 100, nullptr, nullptr, inst, this);
  if (!hwnd_) return false;
  dpi_ = DpiOf(hwnd_);
  BuildMenu();
  BuildAccelerators();
  const RECT r = CentredWindowRect(layout::kClientWidth, layout::kClientHeight, kMainStyle, 0, true, dpi_);
  SetWindowPos(hwnd_, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
  BuildControls();
  Layout();
  for (int i = 0; i < 4; ++i) SetStatusText(i, layout::kPanels[i].text);  // the panels exist now

  hooks_ = std::make_unique<HookThread>(hwnd_, kHookEventsMsg);
  joysticks_.SetWindow(hwnd_);
  recovery_ = std::make_unique<RecoveryStoreWin>();
  MainWindowServices services{*this, clock_, *hooks_, joysticks_, ExeDirectory()};
  services.recovery = recovery_.get();
  services.settingsPlaces = services_.settingsPlaces.get();
  services.newPlayer = [player = services_.player] { return std::make_unique<play::TRunThread>(player); };
  services.screen = [input = services_.player.input] { return input->Screen(); };
  services.desktop = services_.desktop.get();
  logic_ = std::make_unique<TFrmMain>(services);
  tray_ = std::make_unique<TrayIconWin>(hwnd_, *logic_);
  tray_->takeHookEvents = [this] { OnHookEvents(); };
  SetTimer(hwnd_, kRecoveryTimer, 100, nullptr);
  pump_ = std::make_unique<HookPump>(HookPump::Callbacks{
      [this](std::vector<HookEvent>& out) { hooks_->TakeEvents(out); },
      [this](const HookEvent& e) {
        if (const auto* m = std::get_if<MouseHookEvent>(&e)) {
          logic_->Recorder().OnMouseEvent(*m);
          return HotKeyCommand::None;
        }
        return logic_->OnKeyEvent(std::get<KeyHookEvent>(e));
      },
      [this] { return PostMessageW(hwnd_, kHotKeyMsg, 0, 0) != 0; },
      [this](HotKeyCommand command) { logic_->RunHotKey(command); },
      [this](std::exception_ptr error) { Guard([&] { std::rethrow_exception(error); }); },
  });
  SetTimer(hwnd_, kTickTimer, kTickMs, nullptr);
  return true;
}

void MainWindowWin::Show() {
  Guard([&] { logic_->ShowMainWindow(); });
}

void MainWindowWin::CreateMirco() {
  mirco_.onCommand = [this](int id) {
    TFrmMain& w = *logic_;
    switch (id) {
      case forms::mirco::kIdSBRecord: Guard([&] { w.SBRecordClick(); }); break;
      case forms::mirco::kIdSBProc: Guard([&] { w.SBProcClick(); }); break;
      case forms::mirco::kIdSBPause: Guard([&] { w.SBPauseClick(); }); break;
      case forms::mirco::kIdSBStop: Guard([&] { w.SBStopClick(); }); break;
      case forms::mirco::kIdSBSave: Guard([&] { w.SBSaveClick(); }); break;
      default: break;
    }
  };
  mirco_.onClose = [this] {
    miniShown_ = false;
    Guard([&] { logic_->ShowMainWindow(); });
  };
  CreateMircoForm(hwnd_, mirco_);
}

void MainWindowWin::CreateSoftwareSetup() {
  setup_ = std::make_unique<SetupDialogWin>(app_);
  if (!setup_->Create(hwnd_)) setup_.reset();
}

void MainWindowWin::CreateAbout() {
  about_ = std::make_unique<AboutBoxWin>(app_);
  if (!about_->Create(hwnd_)) about_.reset();
}

void MainWindowWin::SetMiniState(std::string_view text) {
  if (!mirco_.window) return;
  std::string caption = forms::kMirco.caption;
  if (!text.empty()) caption = std::string(text) + " - " + caption;
  SetWindowTextW(mirco_.window, Wide(caption).c_str());
}

void MainWindowWin::ShowAboutModal(std::string_view settingsFolder) {
  if (!about_) return;
  about_->SetSettingsFolder(std::string(settingsFolder));
  about_->ShowModal();
}

void MainWindowWin::ShellRequest(std::string_view verb, std::string_view file, std::string_view parameters) {
  ShellRequestChecked(verb, file, parameters);
}

bool MainWindowWin::ShellRequestChecked(std::string_view verb, std::string_view file, std::string_view parameters) {
  const std::wstring v = Wide(verb), f = Wide(file), p = Wide(parameters);
  const auto r = reinterpret_cast<INT_PTR>(ShellExecuteW(hwnd_, v.empty() ? nullptr : v.c_str(), f.c_str(),
                                                         p.empty() ? nullptr : p.c_str(), nullptr, SW_SHOWNORMAL));
  return r > 32;  // the user's no at the elevation prompt comes back as an error
}

std::string MainWindowWin::ProgramPath() { return ExePath(); }

void MainWindowWin::SetMainVisible(bool visible) {
  if (!visible) {
    ShowWindow(hwnd_, SW_HIDE);
    return;
  }
  ShowWindow(hwnd_, SW_SHOW);
  UpdateWindow(hwnd_);
  SetForegroundWindow(hwnd_);
}

bool MainWindowWin::MainVisible() { return IsWindowVisible(hwnd_) != FALSE; }

void MainWindowWin::ShowMiniModal() {
  if (!mirco_.window) return;
  miniShown_ = true;
  ShowWindow(mirco_.window, SW_SHOW);
  SetForegroundWindow(mirco_.window);
  app_.RunUntil([this] { return !miniShown_; });
  miniShown_ = false;
}

void MainWindowWin::BuildMenu() {
  HMENU bar = CreateMenu();
  HMENU sub = nullptr;
  for (const auto& item : layout::kMenu) {
    if (item.level == 0) {
      sub = CreatePopupMenu();
      AppendMenuW(bar, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(sub), Wide(item.caption).c_str());
    } else if (!item.caption) {
      AppendMenuW(sub, MF_SEPARATOR, 0, nullptr);
    } else {
      AppendMenuW(sub, MF_STRING, static_cast<UINT_PTR>(item.id), Wide(item.caption).c_str());
    }
  }
  SetMenu(hwnd_, bar);
}

void MainWindowWin::BuildAccelerators() {
  std::vector<ACCEL> keys;
  for (const auto& a : layout::kAccelerators)
    keys.push_back({static_cast<BYTE>(FVIRTKEY | (a.ctrl ? FCONTROL : 0) | (a.shift ? FSHIFT : 0)),
                    static_cast<WORD>(a.key), static_cast<WORD>(a.id)});
  accelerators_ = CreateAcceleratorTableW(keys.data(), static_cast<int>(keys.size()));
  app_.SetAccelerators(hwnd_, accelerators_);
}

void MainWindowWin::BuildControls() {
  const HINSTANCE inst = GetModuleHandleW(nullptr);
  font_ = MakeFont(layout::kFontName, layout::kFontHeight, dpi_);
  SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);

  // A panel's tooltip holds its whole text, for a text the panel cuts.
  status_ = CreateWindowExW(0, STATUSCLASSNAMEW, L"",
                            WS_CHILD | WS_VISIBLE | CCS_NORESIZE | CCS_NOPARENTALIGN | SBARS_TOOLTIPS,
                            0, 0, 0, 0, hwnd_, reinterpret_cast<HMENU>(layout::kIdStatusBar), inst, nullptr);
  tabs_ = CreateWindowExW(0, WC_TABCONTROLW, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, 0, 0, hwnd_,
                          reinterpret_cast<HMENU>(layout::kIdPageControl), inst, nullptr);
  std::wstring tabText = Wide(layout::kTabCaption);
  TCITEMW tab{};
  tab.mask = TCIF_TEXT;
  tab.pszText = tabText.data();
  SendMessageW(tabs_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  SendMessageW(tabs_, TCM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&tab));

  sheet_ = CreateWindowExW(WS_EX_CONTROLPARENT, kSheetClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 0,
                           0, hwnd_, nullptr, inst, this);
  group_ = CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | BS_GROUPBOX, 0, 0, 0, 0, sheet_,
                           reinterpret_cast<HMENU>(layout::kIdGroupBox), inst, nullptr);
  memoText_ = std::make_unique<editor::ScriptBox>(sheet_, layout::kIdMemo);
  memo_ = memoText_->Handle();
  memoText_->SetDpi(dpi_);
  memoText_->OnHelpOnWord([this](std::string_view page) { Guard([&] { logic_->HelpOnWord(page); }); });

  tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, inst, nullptr);
  const int glyphSize = Scale(16, dpi_);
  for (const auto& b : layout::kGlyphButtons) {
    HWND btn = CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON | BS_BITMAP, 0,
                               0, 0, 0, sheet_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(b.id)), inst, nullptr);
    HBITMAP bmp = DrawGlyph(b.glyph, glyphSize);
    glyphs_.push_back(bmp);
    SendMessageW(btn, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bmp));
    std::wstring hint = Wide(b.hint);
    TOOLINFOW ti{};
    ti.cbSize = sizeof ti;
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = sheet_;
    ti.uId = reinterpret_cast<UINT_PTR>(btn);
    ti.lpszText = hint.data();
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    glyphButtons_.push_back(btn);
  }
  clear_ = CreateWindowExW(0, L"BUTTON", Wide(layout::kClearCaption).c_str(),
                           WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 0, 0, sheet_,
                           reinterpret_cast<HMENU>(layout::kIdBitBtnClear), inst, nullptr);
  for (HWND c : {status_, group_, clear_}) SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  SendMessageW(tooltip_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);

}

void MainWindowWin::Layout() {
  auto S = [&](int v) { return Scale(v, dpi_); };
  RECT client;
  GetClientRect(hwnd_, &client);
  const int cw = client.right, ch = client.bottom;
  const int sh = S(layout::kStatusBarHeight);
  MoveWindow(status_, 0, ch - sh, cw, sh, TRUE);
  int edges[4];
  int x = 0;
  for (int i = 0; i < 3; ++i) edges[i] = (x += S(layout::kPanels[i].width));
  edges[3] = -1;  // the last panel takes the rest of the bar
  SendMessageW(status_, SB_SETPARTS, 4, reinterpret_cast<LPARAM>(edges));

  MoveWindow(tabs_, 0, 0, cw, ch - sh, TRUE);
  RECT page{0, 0, cw, ch - sh};
  SendMessageW(tabs_, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&page));
  MoveWindow(sheet_, page.left, page.top, page.right - page.left, page.bottom - page.top, TRUE);

  MoveWindow(group_, S(layout::kGroupLeft), S(layout::kGroupTop), S(layout::kGroupWidth), S(layout::kGroupHeight),
             TRUE);
  // The text box fills the group box inside its frame.
  MoveWindow(memo_, S(layout::kGroupLeft + 2), S(layout::kGroupTop + 8), S(layout::kGroupWidth - 4),
             S(layout::kGroupHeight - 10), TRUE);
  for (size_t i = 0; i < glyphButtons_.size(); ++i)
    MoveWindow(glyphButtons_[i], S(layout::kGlyphButtons[i].x), S(layout::kButtonTop), S(layout::kButtonWidth),
               S(layout::kButtonHeight), TRUE);
  MoveWindow(clear_, S(layout::kClearLeft), S(layout::kButtonTop), S(layout::kClearWidth), S(layout::kClearHeight),
             TRUE);
}

LRESULT MainWindowWin::Handle(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (LRESULT r = 0; tray_ && tray_->OnMessage(msg, wParam, lParam, r)) return r;
  switch (msg) {
    case WM_COMMAND:
      if (reinterpret_cast<HWND>(lParam) == memo_) {
        if (memoText_->OnCommand(wParam, lParam)) logic_->TextChangedByUser();
      } else if (HIWORD(wParam) == 1 && lParam == 0 && AcceleratorGivesWay(LOWORD(wParam))) {
        // the hot key bound to the same key acts instead
      } else if (HIWORD(wParam) == 0 || HIWORD(wParam) == BN_CLICKED || (HIWORD(wParam) == 1 && lParam == 0)) {
        // a menu item, a button, or a key of the accelerator table
        OnCommand(LOWORD(wParam));
      }
      return 0;
    case WM_TIMER:
      if (wParam == kRecoveryTimer) {
        Guard([&] { logic_->Document().OnTimer(); });
        ReassertCapture();
      }
      if (wParam == kTickTimer) OnTick();
      return 0;
    case WM_NOTIFY:
      if (memoText_ && memoText_->OnNotify(lParam)) return 0;
      return DefWindowProcW(hwnd_, msg, wParam, lParam);
    case WM_MOUSEMOVE:
      return 0;  // consumed: nothing happens on the window's own mouse moves
    case kHookEventsMsg:
      OnHookEvents();
      return 0;
    case kHotKeyMsg:
      // The hot key's command runs here, outside the event loop, so a
      // command with a dialog cannot nest inside it; then the remaining
      // events follow.
      if (pump_) pump_->RunPostedCommand();
      return 0;
    case MM_JOY1MOVE:
      Guard([&] { logic_->Recorder().OnJoy1Move(static_cast<uint32_t>(lParam)); });
      return DefWindowProcW(hwnd_, msg, wParam, lParam);
    case MM_JOY1BUTTONDOWN:
      Guard([&] { logic_->Recorder().OnJoy1ButtonDown(static_cast<uint32_t>(wParam)); });
      return DefWindowProcW(hwnd_, msg, wParam, lParam);
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDBLCLK:
      if (RouteCapturedPress(msg, wParam, lParam)) return 0;
      return DefWindowProcW(hwnd_, msg, wParam, lParam);
    case WM_CLOSE:
      OnClose();
      return 0;
    case WM_QUERYENDSESSION: {
      bool mayEnd = false;
      Guard([&] { mayEnd = logic_->FormCloseQuery(); });
      return mayEnd ? TRUE : FALSE;
    }
    case WM_ENDSESSION:
      if (wParam) Guard([&] { logic_->FormClose(); });
      return 0;
    case WM_DESTROY:
      PostQuitMessage(exitCode_);
      return 0;
    case WM_DPICHANGED: {
      dpi_ = HIWORD(wParam);
      const auto* r = reinterpret_cast<const RECT*>(lParam);
      if (font_) DeleteObject(font_);
      font_ = MakeFont(layout::kFontName, layout::kFontHeight, dpi_);
      for (HWND c : {status_, tabs_, group_, clear_})
        SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
      memoText_->SetDpi(dpi_);
      SetWindowPos(hwnd_, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      Layout();
      return 0;
    }
    default:
      return DefWindowProcW(hwnd_, msg, wParam, lParam);
  }
}

void MainWindowWin::OnCommand(int id) {
  TFrmMain& w = *logic_;
  switch (id) {
    case layout::kIdSBNew:
    case layout::kMnuNew: Guard([&] { w.SBNewClick(); }); break;
    case layout::kIdSBLoad:
    case layout::kMnuLoad: Guard([&] { w.SBLoadClick(); }); break;
    case layout::kIdSBSave:
    case layout::kMnuSave: Guard([&] { w.SBSaveClick(); }); break;
    case layout::kMnuSaveAs: Guard([&] { w.MnuSaveAsClick(); }); break;
    case layout::kIdBitBtnClear: Guard([&] { w.BitBtnClearClick(); }); break;
    case layout::kIdSBRecord: Guard([&] { w.SBRecordClick(); }); break;
    case layout::kIdSBStop: Guard([&] { w.SBStopClick(); }); break;
    case tray::kStopFromMenu: Guard([&] { w.TrayStopClick(); }); break;
    case layout::kIdSBProc: Guard([&] { w.SBProcClick(); }); break;
    case layout::kIdSBPause: Guard([&] { w.SBPauseClick(); }); break;
    case layout::kIdSBToMicro: Guard([&] { w.SBToMicroClick(); }); break;
    case layout::kMnuExit: Close(); break;
    case layout::kMnuJoyStick: Guard([&] { w.MnuJoyStickClick(1); }); break;
    case layout::kMnuJoyStick2: Guard([&] { w.MnuJoyStickClick(2); }); break;
    case layout::kMnuSoftwareSetup: Guard([&] { w.MnuSoftwareSetupClick(); }); break;
    case layout::kMnuContent: Guard([&] { w.MnuContentClick(); }); break;
    case layout::kMnuVHost: Guard([&] { w.MnuVHostClick(); }); break;
    case layout::kMnuAbout: Guard([&] { w.MnuAboutClick(); }); break;
    case layout::kMnuRunAsAdmin: Guard([&] { w.MnuRunAsAdminClick(); }); break;
    case layout::kIdSBPlayMemo: Guard([&] { w.MnuPlayMemoClick(); }); break;
    case layout::kMnuPlayMemo: Guard([&] { w.MnuPlayOrContinueClick(); }); break;
    case layout::kMnuPlayFromHere: Guard([&] { w.MnuPlayFromHereClick(/*selection=*/false); }); break;
    case layout::kMnuPlaySelection: Guard([&] { w.MnuPlayFromHereClick(/*selection=*/true); }); break;
    case layout::kMnuStepLine: Guard([&] { w.MnuStepLineClick(); }); break;
    case layout::kMnuToggleBreakpoint: memoText_->ToggleBreakpointAtCaret(); break;
    case layout::kMnuCaptureImage:
      // Not while a modal box or dialog of the program is up.
      if (IsWindowEnabled(hwnd_)) Guard([&] { w.MnuCaptureImageClick(); });
      break;
    // The Edit menu works on the script box, which takes the keyboard.
    case layout::kMnuUndo: SetFocus(memo_), memoText_->Undo(); break;
    case layout::kMnuRedo: SetFocus(memo_), memoText_->Redo(); break;
    case layout::kMnuCut: SetFocus(memo_), memoText_->Cut(); break;
    case layout::kMnuCopy: SetFocus(memo_), memoText_->Copy(); break;
    case layout::kMnuPaste: SetFocus(memo_), memoText_->Paste(); break;
    case layout::kMnuSelectAll: SetFocus(memo_), memoText_->SelectAll(); break;
    case layout::kMnuFind: SetFocus(memo_), memoText_->Find(); break;
    case layout::kMnuFindNext: SetFocus(memo_), memoText_->FindNext(); break;
    case layout::kMnuGoToLine: SetFocus(memo_), memoText_->GoToLine(); break;
    case layout::kMnuThinMoves: Guard([&] { ThinMoves(); }); break;
    case layout::kMnuExport: Guard([&] { w.MnuExportClick(); }); break;
    default:
      // Commands that this build does not offer yet do nothing.
      break;
  }
}

void MainWindowWin::OnClose() {
  bool mayClose = false;
  Guard([&] { mayClose = logic_->FormCloseQuery(); });
  if (!mayClose) return;
  Guard([&] { logic_->FormClose(); });
  DestroyWindow(hwnd_);
}

void MainWindowWin::OnHookEvents() {
  if (pump_ && logic_) pump_->Drain();
}

void MainWindowWin::OnTick() {
  if (!logic_) return;
  Guard([&] { logic_->Tick(); });
  if (pump_) pump_->Poll();
}

// ---- IMainView ----

int MainWindowWin::ShowMessage(std::string_view text, std::string_view caption, unsigned style) {
  // An unattended run never waits for a click on a notice.
  if (quiet_ && (style & 0xF) == MB_OK) return IDOK;
  HWND owner = IsWindowVisible(hwnd_) ? hwnd_ : GetActiveWindow();
  return MessageBoxW(owner, Wide(text).c_str(), Wide(caption).c_str(), style);
}

void MainWindowWin::Beep(unsigned frequency, unsigned durationMs) { ::Beep(frequency, durationMs); }

void MainWindowWin::Sleep(unsigned ms) { ::Sleep(ms); }

void MainWindowWin::ProcessMessages() { app_.ProcessMessages(); }

void MainWindowWin::InstallIdleHandler() {
  app_.SetIdleHandler([this] {
    if (logic_) logic_->AppIdle();
  });
}

void MainWindowWin::SetCaption(std::string_view text) { SetWindowTextW(hwnd_, Wide(text).c_str()); }

void MainWindowWin::SetStatusText(int panel, std::string_view text) {
  const std::wstring wide = Wide(text);
  SendMessageW(status_, SB_SETTEXTW, static_cast<WPARAM>(panel), reinterpret_cast<LPARAM>(wide.c_str()));
  SendMessageW(status_, SB_SETTIPTEXTW, static_cast<WPARAM>(panel), reinterpret_cast<LPARAM>(wide.c_str()));
}

void MainWindowWin::SetStatusTip(int panel, std::string_view text) {
  SendMessageW(status_, SB_SETTIPTEXTW, static_cast<WPARAM>(panel), reinterpret_cast<LPARAM>(Wide(text).c_str()));
}

void MainWindowWin::SetStepCounter(std::string_view text) {
  if (!mirco_.label || text == stepText_) return;  // unchanged: no repaint
  stepText_ = text;
  SetWindowTextW(mirco_.label, Wide(text).c_str());
}

void MainWindowWin::Close() { PostMessageW(hwnd_, WM_CLOSE, 0, 0); }

int MainWindowWin::MemoLineCount() { return memoText_->StepCount(); }

void MainWindowWin::MemoAppendLine(std::string_view gbk) { memoText_->AppendLine(gbk); }

std::string MainWindowWin::MemoText(int* unencodable) { return memoText_->Text(unencodable); }

void MainWindowWin::FollowMemoPlayback() {
  memoText_->FollowPlayback([this]() -> std::optional<int64_t> {
    if (!logic_) return std::nullopt;
    return logic_->Playback().BoxLineOffset();
  });
}

bool MainWindowWin::MemoSetText(std::string_view gbk) {
  // The box takes even a million lines at once; it wraps them in the
  // background while the window answers.
  return memoText_->SetText(gbk);
}

std::optional<std::string> MainWindowWin::RunFileDialog(FileDialog which) {
  HWND owner = IsWindowVisible(hwnd_) ? hwnd_ : GetActiveWindow();
  const auto file = which == FileDialog::Save ? AskSaveFileName(owner, layout::kFilter, layout::kDefaultExt)
                                              : AskOpenFileName(owner, layout::kFilter, layout::kDefaultExt);
  if (!file) return std::nullopt;
  return Utf8(*file);
}

std::string MainWindowWin::AnsiToUtf8(std::string_view ansi) { return Utf8(AnsiToWide(ansi)); }

std::string MainWindowWin::Utf8ToAnsi(std::string_view utf8) { return Utf8ToAnsiName(utf8); }

void MainWindowWin::SetMouseCapture() {
  captureWanted_ = true;
  ::SetCapture(hwnd_);
}

void MainWindowWin::ReleaseMouseCapture() {
  captureWanted_ = false;
  ::ReleaseCapture();
}

bool MainWindowWin::RouteCapturedPress(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!captureWanted_ || GetCapture() != hwnd_) return false;
  POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  ClientToScreen(hwnd_, &pt);
  HWND target = WindowFromPoint(pt);
  if (!target || GetWindowThreadProcessId(target, nullptr) != GetCurrentThreadId()) return false;
  const LRESULT hit = SendMessageW(target, WM_NCHITTEST, 0, MAKELPARAM(pt.x, pt.y));
  if (target == hwnd_ && hit == HTCLIENT) return false;  // the window's own background: nothing there
  UINT down = msg;
  if (msg == WM_LBUTTONDBLCLK) down = WM_LBUTTONDOWN;
  if (msg == WM_RBUTTONDBLCLK) down = WM_RBUTTONDOWN;
  if (msg == WM_MBUTTONDBLCLK) down = WM_MBUTTONDOWN;
  // The control takes the press (and the capture, as a button or a text box
  // does for its own press); the release then goes to it as usual.
  ::ReleaseCapture();
  if (hit == HTCLIENT) {
    POINT client = pt;
    ScreenToClient(target, &client);
    SendMessageW(target, down, wParam, MAKELPARAM(client.x, client.y));
  } else {
    SendMessageW(target, down - WM_LBUTTONDOWN + WM_NCLBUTTONDOWN, static_cast<WPARAM>(hit),
                 MAKELPARAM(pt.x, pt.y));
  }
  return true;
}

void MainWindowWin::ReassertCapture() {
  if (!captureWanted_ || GetCapture() != nullptr || !IsWindowEnabled(hwnd_)) return;
  for (int vk : {VK_LBUTTON, VK_RBUTTON, VK_MBUTTON})
    if (GetAsyncKeyState(vk) < 0) return;  // a press is still going on
  ::SetCapture(hwnd_);
}

// ---- picture capture ----

std::optional<IMainView::CapturedArea> MainWindowWin::CaptureArea() {
  // The window has just been hidden: the windows below draw what it covered,
  // and the system's fade-out ends, before the screen freezes.
  app_.ProcessMessages();
  ::Sleep(250);
  app_.ProcessMessages();
  auto picked = PickScreenArea();
  if (!picked) return std::nullopt;
  CapturedArea a;
  a.area = {picked->rect.left, picked->rect.top, picked->rect.right - picked->rect.left,
            picked->rect.bottom - picked->rect.top};
  a.picture = std::move(picked->picture);
  return a;
}

std::optional<std::string> MainWindowWin::AskPictureFile(std::string_view folder, std::string_view proposedName) {
  const auto file = AskSaveFileNameIn(hwnd_, layout::kPictureFilter, layout::kPictureExt, folder, proposedName);
  if (!file) return std::nullopt;
  return Utf8(*file);
}

std::vector<play::LineSpan> MainWindowWin::MemoBreakpoints() { return memoText_->Breakpoints(); }

play::LineSpan MainWindowWin::MemoCaretLines(bool selection) { return memoText_->CaretLines(selection); }

bool MainWindowWin::AcceleratorGivesWay(int id) {
  // The key that was pressed for the command: the one of its entries whose
  // modifiers are held now.
  const bool ctrl = GetKeyState(VK_CONTROL) < 0, shift = GetKeyState(VK_SHIFT) < 0;
  for (const auto& a : layout::kAccelerators) {
    if (a.id != id || a.ctrl != ctrl || a.shift != shift) continue;
    const uint16_t code = static_cast<uint16_t>(static_cast<uint8_t>(a.key) | (a.ctrl ? Shortcut::kCtrl : 0) |
                                                (a.shift ? Shortcut::kShift : 0));
    return logic_->HotKeyTakes(code);
  }
  return false;
}

std::optional<std::string> MainWindowWin::AskProgramFile(std::string_view folder, std::string_view proposedName) {
  const auto file = AskSaveFileNameIn(hwnd_, layout::kProgramFilter, layout::kProgramExt, folder, proposedName);
  if (!file) return std::nullopt;
  return Utf8(*file);
}

void MainWindowWin::InsertLineAtCaret(std::string_view gbk) {
  memoText_->InsertLine(gbk);
  SetFocus(memo_);
}

}  // namespace tesmuro::win
