// Recording's cost per event in the real main window. For each size (1,000,
// 100,000 and 1,000,000 lines of alternating delay and move lines; an
// argument picks one size) the bench
//   - writes the script and opens it with the window's Load command (its file
//     dialog answered with the file), then waits until the box's background
//     wrapping has settled: the load time;
//   - gives the Record command (the Record button's id, as its click sends);
//   - injects 2,000 relative mouse moves with SendInput at about 1 kHz from a
//     thread of its own. They take the program's own path: the low-level hook
//     thread, the hand-over to the user interface thread, the recorders, the
//     script box. Meanwhile the user interface thread runs the program's own
//     loop (the idle handler included), which times each message and idle
//     call: the thread's busy time is what the user pays;
//   - gives the Stop command, reads the text back through the window and
//     counts the lines recorded: a delay and a move line per event that
//     arrived (events that did not arrive are reported), then saves the script
//     with the Save command so the next Load asks nothing.
// Prints per size the moves sent and arrived, the lines recorded, the busy
// time per event (mean, and the median over 100-event slices), the longest
// single message meanwhile, the load time and the Record and Stop commands'
// times.
//
// Settings of its own beside the program (the file there before is put back
// at the end): mouse and keyboard recording on, the window's mouse capture off
// (so the injected moves are not captured by the window), no controller, no
// hot keys.
// Usage: memo_append_bench_win [LINES] [FOLDER for the script; the temporary folder]
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

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

constexpr int kEvents = 2000;
constexpr int kSlice = 100;

// The real window, its file dialogs answered with the current script.
class BenchWindow : public win::MainWindowWin {
 public:
  explicit BenchWindow(win::Application& app) : MainWindowWin(app, win::RealSystemServices()) {}
  std::optional<std::string> RunFileDialog(FileDialog) override { return file_; }
  void SetFile(std::string file) { file_ = std::move(file); }

 private:
  std::string file_;
};

// Relative moves at about 1 kHz: one pixel right, one back, on a fixed
// schedule (a late event does not shift the ones after it).
void Inject(std::atomic<int>& sent, std::atomic<int>& failed) {
  int64_t due = Micros();
  for (int i = 0; i < kEvents; ++i) {
    // Slept, not spun: the spin would take a processor from the threads measured.
    while (Micros() < due) Sleep(1);
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dx = (i % 2) ? -1 : 1;
    in.mi.dwFlags = MOUSEEVENTF_MOVE;
    if (SendInput(1, &in, sizeof in) != 1) failed.fetch_add(1);
    sent.fetch_add(1);
    due += 1000;
  }
}

bool StartsWith(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }

// What the recording added after the loaded script.
struct Recorded {
  bool prefixKept = false;
  int lines = 0, delays = 0, moves = 0, screens = 0, pairs = 0, other = 0;
};

Recorded Count(const std::string& text, const std::string& loaded) {
  Recorded r;
  r.prefixKept = text.size() >= loaded.size() && std::string_view(text).substr(0, loaded.size()) == loaded;
  if (!r.prefixKept) return r;
  std::string_view rest = std::string_view(text).substr(loaded.size());
  bool afterDelay = false;
  while (!rest.empty()) {
    const size_t end = rest.find("\r\n");
    const std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 2);
    ++r.lines;
    if (StartsWith(line, script::kKeywordDelay)) {
      ++r.delays;
      afterDelay = true;
      continue;
    }
    if (StartsWith(line, script::kKeywordMove)) {
      ++r.moves;
      if (afterDelay) ++r.pairs;
    } else if (StartsWith(line, script::kKeywordScreen)) {
      ++r.screens;
    } else {
      ++r.other;
    }
    afterDelay = false;
  }
  return r;
}

// The temporary folder, without its trailing separator.
std::string TempFolder() {
  wchar_t buf[MAX_PATH + 1];
  const DWORD len = GetTempPathW(MAX_PATH + 1, buf);
  std::wstring dir(buf, len);
  if (!dir.empty() && dir.back() == L'\\') dir.pop_back();
  return win::Utf8(dir);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> sizes = {1000, 100000, 1000000};
  if (argc > 1) sizes = {std::atoi(argv[1])};
  const std::string folder = argc > 2 ? argv[2] : TempFolder();
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_TAB_CLASSES | ICC_BAR_CLASSES | ICC_HOTKEY_CLASS};
  InitCommonControlsEx(&icc);

  // Mouse and keyboard recording on, the window's mouse capture off (so the
  // injected moves are not captured by the window), no controller, no hot keys.
  TSettings s = ConstructionSettings();
  s.RecMouse = true;
  s.RecKey = true;
  s.RecJoy = false;
  s.RecMouseMsg = false;
  s.RecKeyMsg = false;
  s.ShortCutControl = false;
  s.StartKey = s.StopKey = s.RecordKey = 0;
  bench::SettingsFile settings(s);
  win::Application app;
  BenchWindow window(app);
  if (!window.Create()) return 1;
  window.CreateSoftwareSetup();
  window.CreateAbout();
  window.CreateMirco();
  window.Show();
  bench::TimedLoop loop(app);
  loop.RunFor(300);

  const std::string path = folder + "\\memo-append-bench.crec";
  std::printf("%-9s %6s %8s %9s %16s %18s %13s %10s %11s %10s\n", "lines", "sent", "arrived", "recorded",
              "mean/event (us)", "median/event (us)", "longest (ms)", "load (ms)", "record (ms)", "stop (ms)");
  std::fflush(stdout);
  int status = 0;
  for (int n : sizes) {
    std::string text;
    text.reserve(static_cast<size_t>(n) * 16);
    for (int i = 0; i < n; ++i)
      text += (i % 2 ? script::MoveLine(640 + i % 7, 480 + i % 5) : script::DelayLine(8)) + "\r\n";
    WriteFileAtomically(path, text);
    window.SetFile(path);

    // Load, as the user does it; then the box wraps in the background.
    const int64_t l0 = Micros();
    SendMessageW(window.Handle(), WM_COMMAND, forms::main::kMnuLoad, 0);
    const int64_t loaded = loop.RunUntilSettled() - l0;

    // The pointer mid-screen, so the moves are never held at an edge.
    SetCursorPos(640, 512);
    loop.RunFor(100);

    // Record: the button's command.
    const int64_t r0 = Micros();
    SendMessageW(window.Handle(), WM_COMMAND, MAKEWPARAM(forms::main::kIdSBRecord, BN_CLICKED), 0);
    const int64_t recordCmd = Micros() - r0;
    loop.RunFor(300);

    std::atomic<int> sent{0}, failed{0};
    std::vector<double> slices;
    loop.ResetLongest();
    const int64_t begin = loop.Busy();
    // A slice closes after the message during which its 100th event was
    // sent; one long message may hold more events, and the slice is then
    // divided by all of them.
    int64_t sliceStart = begin;
    int sliceFirst = 0;
    std::thread injector(Inject, std::ref(sent), std::ref(failed));
    loop.RunUntil([&] {
      const int now = sent.load();
      if (now - sliceFirst >= kSlice && kEvents - now >= kSlice) {
        slices.push_back(static_cast<double>(loop.Busy() - sliceStart) / (now - sliceFirst));
        sliceStart = loop.Busy();
        sliceFirst = now;
      }
      return now >= kEvents;
    });
    injector.join();
    // The last events through the hand-over and the box's last flush.
    loop.RunFor(500);
    slices.push_back(static_cast<double>(loop.Busy() - sliceStart) / (kEvents - sliceFirst));
    const int64_t busy = loop.Busy() - begin;
    const int64_t longest = loop.Longest();

    const int64_t s0 = Micros();
    SendMessageW(window.Handle(), WM_COMMAND, MAKEWPARAM(forms::main::kIdSBStop, BN_CLICKED), 0);
    const int64_t stopCmd = Micros() - s0;
    loop.RunFor(300);

    const Recorded rec = Count(window.MemoText(), text);
    const int arrived = rec.pairs;
    std::sort(slices.begin(), slices.end());
    std::printf("%-9d %6d %8d %9d %16.1f %18.1f %13.1f %10.0f %11.1f %10.1f\n", n, sent.load() - failed.load(),
                arrived, rec.lines, arrived ? static_cast<double>(busy) / arrived : 0.0, slices[slices.size() / 2],
                longest / 1e3, loaded / 1e3, recordCmd / 1e3, stopCmd / 1e3);
    if (!rec.prefixKept) {
      std::printf("  the loaded script is not at the start of the box's text\n");
      status = 1;
    } else {
      if (rec.lines != 2 * arrived + rec.screens || rec.delays != arrived || rec.moves != arrived ||
          rec.screens != 1 || rec.other != 0)
        std::printf("  lines not as expected: %d delay, %d move, %d screen, %d other (a screen line and 2 per event)\n",
                    rec.delays, rec.moves, rec.screens, rec.other);
      if (failed.load() > 0) std::printf("  %d moves refused by SendInput\n", failed.load());
      if (arrived < kEvents) std::printf("  %d of %d moves did not arrive in the box\n", kEvents - arrived, kEvents);
    }
    std::fflush(stdout);

    // Saved, so the next Load has no unsaved changes to ask about.
    SendMessageW(window.Handle(), WM_COMMAND, forms::main::kMnuSave, 0);
    loop.RunFor(100);
  }

  DestroyWindow(window.Handle());
  app.ProcessMessages();
  detail::RemoveFile(path);
  return status;
}
