// Recording cost per event in the script box: the script text box is
// filled with 1,000, 100,000 and 1,000,000 lines, then 2,000 mouse-move
// events arrive at 1 kHz, each appending its delay and move lines and
// updating the step count as the idle handler does. Prints the time the user
// interface thread spends per event (the box's calls and the messages it
// handles: flushing, wrapping, painting) (mean, and the median over 100-event
// slices) and the time to load each text.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "editor/script_box_win.h"
#include "bench/bench_win.h"
#include "script/script_format.h"

using namespace tesmuro;

using bench::Micros;
using bench::Pump;

namespace {

LRESULT CALLBACK Proc(HWND h, UINT msg, WPARAM w, LPARAM l) { return DefWindowProcW(h, msg, w, l); }

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> sizes = {1000, 100000, 1000000};
  if (argc > 1) sizes = {atoi(argv[1])};
  WNDCLASSW wc{};
  wc.lpfnWndProc = Proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"MemoBench";
  RegisterClassW(&wc);
  HWND top = CreateWindowExW(0, L"MemoBench", L"memo bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 720, 420,
                             nullptr, nullptr, wc.hInstance, nullptr);
  editor::ScriptBox memo(top, 100);
  MoveWindow(memo.Handle(), 2, 2, 680, 340, TRUE);
  std::printf("%-10s %12s %16s %18s\n", "lines", "load (ms)", "mean/event (us)", "median/event (us)");
  for (int n : sizes) {
    std::string text;
    text.reserve(static_cast<size_t>(n) * 16);
    for (int i = 0; i < n; ++i) text += (i % 2 ? script::MoveLine(640 + i % 7, 480) : script::DelayLine(8)) + "\r\n";
    const int64_t t0 = Micros();
    memo.SetText(text);
    Pump();
    const int64_t load = Micros() - t0;

    const int events = 2000;
    std::vector<double> slices;
    int64_t pumped = 0;  // time in the messages handled (flushing, wrapping, painting)
    const auto busy = [&] { return memo.BusyMicros() + pumped; };
    int64_t sliceStart = busy();
    const int64_t begin = busy();
    int64_t due = Micros();
    for (int i = 0; i < events; ++i) {
      memo.AppendLine(script::DelayLine(1));
      memo.AppendLine(script::MoveLine(i % 1280, i % 1024));
      memo.StepCount();
      due += 1000;
      while (Micros() < due) {
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
          const int64_t p0 = Micros();
          DispatchMessageW(&m);
          pumped += Micros() - p0;
        }
        Sleep(0);
      }
      if ((i + 1) % 100 == 0) {
        slices.push_back(static_cast<double>(busy() - sliceStart) / 100.0);
        sliceStart = busy();
      }
    }
    memo.Flush();
    Pump();
    const double mean = static_cast<double>(busy() - begin) / events;
    std::sort(slices.begin(), slices.end());
    std::printf("%-10d %12.0f %16.1f %18.1f\n", n, load / 1000.0, mean, slices[slices.size() / 2]);
    std::fflush(stdout);
    if (memo.StepCount() != n + 2 * events) std::printf("line count mismatch: %d\n", memo.StepCount());
  }
  DestroyWindow(top);
  return 0;
}
