// Loading and saving a big script in the real main window, beside the bare
// edit control the script box once was. A script of N lines (default
// 1,000,000; alternating delay and move lines, as an hour or two of recorded
// mouse movement gives) is
//   - handed to a bare multi-line edit control with word wrap in one
//     WM_SETTEXT (the control's own time; skipped with "nobare"),
//   - loaded by the main window's Load command (its file dialog answered with
//     the file): the command's time, the time until the background wrapping
//     has settled, and the longest time any one message kept the window from
//     answering meanwhile,
//   - saved by the Save command,
//   - worked on in the box with folding on: a key typed in the middle of
//     the script and a page down, each with its paint (mean and slowest), and
//     the fold of the first stretch of moves (the whole script here),
// and the process's memory is printed before and after the load. The load's
// time is also given as a share of the bare control's.
// Usage: memo_load_bench_win [LINES] [FOLDER] [nobare]
#include <windows.h>

#define PSAPI_VERSION 2
#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ui/application_win.h"
#include "ui/win_util_win.h"
#include "app/main_window_win.h"
#include "setup/settings.h"
#include "bench/bench_win.h"
#include "forms/main_form.h"
#include "script/script_format.h"
#include "util/file_io.h"

using namespace tesmuro;

using bench::Micros;

namespace {

// The real window, its file dialogs answered with one file.
class BenchWindow : public win::MainWindowWin {
 public:
  BenchWindow(win::Application& app, std::string file) : MainWindowWin(app, win::RealSystemServices()), file_(std::move(file)) {}
  std::optional<std::string> RunFileDialog(FileDialog) override { return file_; }

 private:
  std::string file_;
};

// The process's committed private memory, in MB, counted region by region
// (Wine reports no private bytes in GetProcessMemoryInfo).
double PrivateMb() {
  size_t total = 0;
  MEMORY_BASIC_INFORMATION mbi;
  for (const char* p = nullptr; VirtualQuery(p, &mbi, sizeof mbi) == sizeof mbi;) {
    if (mbi.State == MEM_COMMIT && mbi.Type == MEM_PRIVATE) total += mbi.RegionSize;
    const char* next = static_cast<const char*>(mbi.BaseAddress) + mbi.RegionSize;
    if (next <= p) break;
    p = next;
  }
  return total / 1e6;
}

BOOL CALLBACK FindBox(HWND h, LPARAM out) {
  if (GetDlgCtrlID(h) != forms::main::kIdMemo) return TRUE;
  *reinterpret_cast<HWND*>(out) = h;
  return FALSE;
}

LRESULT CALLBACK Proc(HWND h, UINT msg, WPARAM w, LPARAM l) { return DefWindowProcW(h, msg, w, l); }

// The bare control's time for the same text.
int64_t BareControl(win::Application& app, const std::string& text) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = Proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"MemoLoadBench";
  RegisterClassW(&wc);
  HWND top = CreateWindowExW(0, L"MemoLoadBench", L"bare", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 720, 420,
                             nullptr, nullptr, wc.hInstance, nullptr);
  HWND edit = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                              WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN |
                                  ES_NOHIDESEL,
                              2, 2, 680, 340, top, nullptr, wc.hInstance, nullptr);
  SendMessageW(edit, EM_SETLIMITTEXT, 0, 0);
  const std::wstring w = win::GbkToWide(text);
  const int64_t t0 = Micros();
  SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(w.c_str()));
  const int64_t t1 = Micros();
  app.ProcessMessages();
  const int64_t t2 = Micros();
  std::printf("bare edit control, one WM_SETTEXT: %9.0f ms (then painting %.0f ms), %d rows\n", (t1 - t0) / 1e3,
              (t2 - t1) / 1e3, static_cast<int>(SendMessageW(edit, EM_GETLINECOUNT, 0, 0)));
  std::fflush(stdout);
  DestroyWindow(top);
  app.ProcessMessages();
  return t1 - t0;
}

}  // namespace

int main(int argc, char** argv) {
  const int n = argc > 1 ? std::atoi(argv[1]) : 1000000;
  const std::string folder = argc > 2 ? argv[2] : ".";
  const bool bare = !(argc > 3 && std::strcmp(argv[3], "nobare") == 0);
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_TAB_CLASSES | ICC_BAR_CLASSES};
  InitCommonControlsEx(&icc);

  std::string text;
  text.reserve(static_cast<size_t>(n) * 16);
  for (int i = 0; i < n; ++i)
    text += (i % 2 ? script::MoveLine(640 + i % 7, 480 + i % 5) : script::DelayLine(8)) + "\r\n";
  const std::string path = folder + "\\memo-load-bench.crec";
  WriteFileAtomically(path, text);
  std::printf("%d lines, %.1f MB\n", n, text.size() / 1e6);
  std::fflush(stdout);

  bench::SettingsFile settings(ConstructionSettings());
  win::Application app;
  BenchWindow window(app, path);
  if (!window.Create()) return 1;
  ShowWindow(window.Handle(), SW_SHOW);
  bench::TimedLoop loop(app);
  loop.RunFor(300);
  const double memBefore = PrivateMb();

  // Load, as the user does it: the menu command.
  const int64_t t0 = Micros();
  SendMessageW(window.Handle(), WM_COMMAND, forms::main::kMnuLoad, 0);
  const int64_t t1 = Micros();
  // The window answers from here on; the box wraps the lines in the
  // background, a slice at a time. Done: nothing to handle for a second
  // (the window's own 100 and 250 ms timers aside, which take no time).
  loop.ResetLongest();
  const int64_t settled = loop.RunUntilSettled();
  const int64_t longest = loop.Longest();
  const int steps = window.MemoLineCount();
  const double memAfter = PrivateMb();
  std::printf("Load command (real window):        %9.0f ms until the window answers\n", (t1 - t0) / 1e3);
  std::printf("  background wrapping done after    %9.0f ms, no message longer than %.0f ms meanwhile, %d steps\n",
              (settled - t0) / 1e3, longest / 1e3, steps);
  std::printf("  memory: %.1f MB private before, %.1f MB after (%.2f x the text's size)\n", memBefore, memAfter,
              (memAfter - memBefore) / (text.size() / 1e6));
  std::fflush(stdout);

  const int64_t s0 = Micros();
  SendMessageW(window.Handle(), WM_COMMAND, forms::main::kMnuSave, 0);
  const int64_t s1 = Micros();
  std::string back;
  ReadWholeFile(path, back);
  std::printf("Save command:                      %9.0f ms%s\n", (s1 - s0) / 1e3,
              back == text ? " (file identical)" : "  MISMATCH");
  std::fflush(stdout);

  HWND box = nullptr;
  EnumChildWindows(window.Handle(), &FindBox, reinterpret_cast<LPARAM>(&box));
  // Typing and paging in the middle of the loaded script, each with its paint.
  {
    auto timed = [&](const char* what, int times, auto&& once) {
      int64_t total = 0, slowest = 0;
      for (int i = 0; i < times; ++i) {
        const int64_t a = Micros();
        once();
        UpdateWindow(box);
        const int64_t d = Micros() - a;
        total += d;
        slowest = std::max(slowest, d);
        loop.RunFor(5);
      }
      std::printf("  %-30s %6.2f ms a time, slowest %6.2f ms (%d times)\n", what, total / 1e3 / times, slowest / 1e3,
                  times);
    };
    SetFocus(box);
    SendMessageW(box, 2024 /*SCI_GOTOLINE*/, static_cast<WPARAM>(n / 2), 0);
    loop.RunFor(100);
    std::printf("In the box, folding on, at line %d:\n", n / 2);
    timed("a key typed:", 40, [&] { SendMessageW(box, WM_CHAR, 'a', 0); });
    timed("a page down:", 40, [&] {
      SendMessageW(box, WM_KEYDOWN, VK_NEXT, 0);
      SendMessageW(box, WM_KEYUP, VK_NEXT, 0);
    });
    SendMessageW(box, 2024, 0, 0);
    loop.RunFor(100);
    // Line 2 (the first move) opens the stretch of every move and delay after it.
    const int64_t f0 = Micros();
    SendMessageW(box, 2231 /*SCI_TOGGLEFOLD*/, 1, 0);
    UpdateWindow(box);
    const int64_t f1 = Micros();
    std::printf("  folding the stretch of moves:    %6.0f ms, line %d then shown as row %d\n", (f1 - f0) / 1e3, n,
                static_cast<int>(SendMessageW(box, 2220 /*SCI_VISIBLEFROMDOCLINE*/, static_cast<WPARAM>(n - 1), 0)));
    std::fflush(stdout);
  }

  // Rows of wrapped lines: the box beside an edit control of its size with
  // the font the edit control had.
  {
    RECT r{};
    GetWindowRect(box, &r);
    HWND edit = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"", WS_POPUP | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL,
                                r.left, r.top, r.right - r.left, r.bottom - r.top, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    HFONT font = CreateFontW(-11, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"MS Sans Serif");
    SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    // 延迟 and 移动 lines strung together, as a hand-edited line might be.
    std::string gbk;
    for (int i = 0; i < 12; ++i) gbk += script::DelayLine(100 + i) + " " + script::MoveLine(640 + i, 480) + " ";
    std::printf("rows of one line of %zu bytes, box %ld px wide:\n", gbk.size(), r.right - r.left);
    for (int cut : {60, 120, static_cast<int>(gbk.size())}) {
      std::string line = gbk.substr(0, static_cast<size_t>(cut));
      window.MemoSetText(line + "\r\n");
      loop.RunFor(200);
      SetWindowTextW(edit, win::GbkToWide(line).c_str());
      std::printf("  %4d bytes: script box %d rows, edit control %d rows\n", cut, window.MemoLineCount(),
                  static_cast<int>(SendMessageW(edit, EM_GETLINECOUNT, 0, 0)));
    }
    DestroyWindow(edit);
    DeleteObject(font);
  }
  std::fflush(stdout);

  // The bare control last, so its minutes do not disturb the figures above.
  if (bare) {
    const int64_t bareMicros = BareControl(app, text);
    std::printf("Load with folding on: 1/%.0f of the bare control's time (the mark: at most 1/20)\n",
                static_cast<double>(bareMicros) / std::max<int64_t>(t1 - t0, 1));
  }

  DestroyWindow(window.Handle());
  DeleteFileA(path.c_str());
  return 0;
}
