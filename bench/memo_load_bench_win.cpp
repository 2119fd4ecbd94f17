// Loading and saving a big script in the real edit control, side by side with
// the bare control: a script of N lines (default 1,000,000; alternating delay
// and move lines, as an hour of recorded mouse movement gives) is
//   - handed to a bare multi-line edit control with the script box's styles in
//     one WM_SETTEXT (the control's own time),
//   - loaded the way the Load command does (read, line breaks, conversion, the
//     text box), timing the whole and the longest time the window does not
//     answer input,
//   - saved the way Save does (the text box's bytes, written atomically).
// Usage: memo_load_bench_win [LINES] [FOLDER]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/memo_win.h"
#include "bench/bench_win.h"
#include "app/script_text_win.h"
#include "script/script_format.h"
#include "util/file_io.h"

using namespace tesmuro;

using bench::Micros;
using bench::Pump;

namespace {

LRESULT CALLBACK Proc(HWND h, UINT msg, WPARAM w, LPARAM l) { return DefWindowProcW(h, msg, w, l); }

HWND NewEdit(HWND top) {
  HWND edit = win::CreateMemoEdit(top, 100);
  MoveWindow(edit, 2, 2, 680, 340, TRUE);
  return edit;
}

}  // namespace

int main(int argc, char** argv) {
  const int n = argc > 1 ? std::atoi(argv[1]) : 1000000;
  const std::string folder = argc > 2 ? argv[2] : ".";
  WNDCLASSW wc{};
  wc.lpfnWndProc = Proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"MemoLoadBench";
  RegisterClassW(&wc);
  HWND top = CreateWindowExW(0, L"MemoLoadBench", L"memo load bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 720,
                             420, nullptr, nullptr, wc.hInstance, nullptr);

  std::string text;
  text.reserve(static_cast<size_t>(n) * 16);
  for (int i = 0; i < n; ++i) text += (i % 2 ? script::MoveLine(640 + i % 7, 480 + i % 5) : script::DelayLine(8)) + "\r\n";
  const std::string path = folder + "\\memo-load-bench.crec";
  WriteFileAtomically(path, text);
  std::printf("%d lines, %.1f MB\n", n, text.size() / 1e6);

  // The bare control's own time.
  {
    HWND edit = NewEdit(top);
    const std::wstring w = win::ScriptBytesToWide(text);
    const int64_t t0 = Micros();
    SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(w.c_str()));
    const int64_t t1 = Micros();
    Pump();
    const int64_t t2 = Micros();
    std::printf("bare control, one WM_SETTEXT:     %8.0f ms (then painting %.0f ms), %d rows\n", (t1 - t0) / 1e3,
                (t2 - t1) / 1e3, static_cast<int>(SendMessageW(edit, EM_GETLINECOUNT, 0, 0)));
    std::fflush(stdout);
    DestroyWindow(edit);
  }

  // The Load command's way.
  {
    HWND edit = NewEdit(top);
    win::MemoControl memo(edit, top, 1);
    const int64_t t0 = Micros();
    std::string bytes;
    ReadWholeFile(path, bytes);
    const int64_t t1 = Micros();
    const std::string normal = script::NormalizeLineBreaks(bytes);
    const int64_t t2 = Micros();
    memo.SetText(normal);
    const int64_t t3 = Micros();
    const int lines = memo.LineCount();
    Pump();
    const int64_t t4 = Micros();
    std::printf("load as the Load command does:    %8.0f ms (read %.0f, line breaks %.0f, text box %.0f, count "
                "and paint %.0f), %d lines\n",
                (t4 - t0) / 1e3, (t1 - t0) / 1e3, (t2 - t1) / 1e3, (t3 - t2) / 1e3, (t4 - t3) / 1e3, lines);
    std::fflush(stdout);

    const int64_t s0 = Micros();
    const std::string out = memo.Text();
    const int64_t s1 = Micros();
    WriteFileAtomically(path, out);
    const int64_t s2 = Micros();
    std::printf("save as the Save command does:    %8.0f ms (text box %.0f, write %.0f)%s\n", (s2 - s0) / 1e3,
                (s1 - s0) / 1e3, (s2 - s1) / 1e3, out == normal ? "" : "  MISMATCH");
    DestroyWindow(edit);
  }

  // In steps, the window answering input between them.
  {
    HWND edit = NewEdit(top);
    win::MemoControl memo(edit, top, 1);
    const std::string normal = script::NormalizeLineBreaks(text);
    int64_t last = Micros(), longest = 0;
    int steps = 0;
    const int64_t t0 = Micros();
    const bool ok = memo.SetTextInSteps(normal, [&](size_t, size_t) {
      const int64_t now = Micros();
      longest = std::max(longest, now - last);
      ++steps;
      Pump();
      last = Micros();
    });
    longest = std::max(longest, Micros() - last);
    const int64_t t1 = Micros();
    std::printf("load in steps:                    %8.0f ms, %d steps, longest without answering %.0f ms, %d lines%s\n",
                (t1 - t0) / 1e3, steps + 1, longest / 1e3, memo.LineCount(), ok ? "" : "  FAILED");
    std::fflush(stdout);
    DestroyWindow(edit);
  }
  DeleteFileA(path.c_str());
  DestroyWindow(top);
  return 0;
}
