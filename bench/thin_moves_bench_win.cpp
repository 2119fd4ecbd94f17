// 精简移动 on a big recorded script, part by part inside the program's own
// pieces: the thinner alone, then the script box taking the thinned text in
// place of its own (one step to undo) and giving it back with Undo. The
// script (default 1,000,000 lines) looks like a recording: strokes of pointer
// moves sampled every 8 to 10 ms along smooth curves, speeding up and slowing
// down, a click after each stroke and a key now and then. With a FILE it is
// also written there, for thin_moves_bench_win.sh, which times the command
// in the real program under Wine.
// Usage: thin_moves_bench_win [LINES] [FILE]
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_win.h"
#include "editor/script_box_win.h"
#include "script/script_format.h"
#include "script/thin_moves.h"
#include "ui/application_win.h"
#include "util/file_io.h"

using namespace tesmuro;

using bench::Micros;

namespace {

class Lcg {
 public:
  int Below(int n) {
    state_ = state_ * 1664525u + 1013904223u;
    return static_cast<int>((state_ >> 8) % static_cast<uint32_t>(n));
  }

 private:
  uint32_t state_ = 20240607u;
};

std::string RecordedScript(int lines) {
  constexpr double kPi = 3.14159265358979323846;
  constexpr int kWidth = 1920, kHeight = 1080;
  Lcg rnd;
  std::string s = script::ScreenLine(0, 0, kWidth, kHeight, 96) + "\r\n";
  int count = 1;
  double x = kWidth / 2.0, y = kHeight / 2.0;
  int lastX = -1, lastY = -1;
  for (int stroke = 0; count < lines; ++stroke) {
    const int samples = 100 + rnd.Below(1400);
    const double peak = 2 + rnd.Below(30);
    double heading = rnd.Below(360) * kPi / 180, turn = (rnd.Below(201) - 100) / 5000.0;
    int waited = 0;
    for (int i = 0; i < samples && count < lines; ++i) {
      const double speed = peak * std::sin(kPi * (i + 0.5) / samples);
      heading += turn;
      turn = std::clamp(turn + (rnd.Below(21) - 10) / 20000.0, -0.05, 0.05);
      x += speed * std::cos(heading);
      y += speed * std::sin(heading);
      if (x < 0 || x >= kWidth) heading = kPi - heading, x = std::clamp(x, 0.0, kWidth - 1.0);
      if (y < 0 || y >= kHeight) heading = -heading, y = std::clamp(y, 0.0, kHeight - 1.0);
      waited += 8 + rnd.Below(3);
      const int px = static_cast<int>(std::lround(x)), py = static_cast<int>(std::lround(y));
      if (px == lastX && py == lastY) continue;  // the hook reports no move without one
      s += script::DelayLine(waited) + "\r\n" + script::MoveLine(px, py) + "\r\n";
      lastX = px, lastY = py, waited = 0, count += 2;
    }
    s += script::DelayLine(100 + rnd.Below(400)) + "\r\n" + script::MouseButtonLine(script::ButtonLine::LeftDown) +
         "\r\n" + script::DelayLine(80 + rnd.Below(40)) + "\r\n" +
         script::MouseButtonLine(script::ButtonLine::LeftUp) + "\r\n";
    count += 4;
    if (stroke % 5 == 4) {
      const uint32_t vk = 'A' + rnd.Below(26);
      s += script::DelayLine(300 + rnd.Below(600)) + "\r\n" +
           script::KeyLine(script::KeyLineKind::Down, vk, 30, 0, 1000u * stroke, 0) + "\r\n" +
           script::DelayLine(70 + rnd.Below(60)) + "\r\n" +
           script::KeyLine(script::KeyLineKind::Up, vk, 30, 128, 1000u * stroke + 90, 0) + "\r\n";
      count += 4;
    }
  }
  return s;
}

double Ms(int64_t us) { return us / 1e3; }

}  // namespace

int main(int argc, char** argv) {
  const int lines = argc > 1 ? std::max(std::atoi(argv[1]), 10) : 1000000;
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&icc);

  const std::string text = RecordedScript(lines);
  std::printf("script: %d lines, %.1f MB, recorded-looking strokes\n", lines, text.size() / 1e6);
  if (argc > 2 && !WriteFileAtomically(argv[2], text)) {
    std::printf("cannot write %s\n", argv[2]);
    return 1;
  }

  // The thinner alone, best of three.
  script::ThinResult thinned;
  int64_t best = INT64_MAX;
  for (int i = 0; i < 3; ++i) {
    const int64_t t0 = Micros();
    thinned = script::ThinMoves(text, script::kDefaultThinTolerance);
    best = std::min(best, Micros() - t0);
  }
  std::printf("ThinMoves (tolerance %d px):        %8.0f ms  (%zu lines removed, %zu left, %.1f MB)\n",
              script::kDefaultThinTolerance, Ms(best), thinned.removedLines, thinned.keptLines,
              thinned.bytes.size() / 1e6);
  std::fflush(stdout);

  // The box, in a window of the main window's box size, wrapping as there.
  win::Application app;
  HWND top = CreateWindowExW(0, L"STATIC", L"thin bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 720, 420,
                             nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  editor::ScriptBox box(top, 100);
  MoveWindow(box.Handle(), 2, 2, 677, 335, TRUE);
  bench::TimedLoop loop(app);
  if (!box.SetText(text)) {
    std::printf("the box cannot take the script\n");
    return 1;
  }
  const int64_t l0 = Micros();
  loop.RunUntilSettled();
  std::printf("box: the script's wrapping settled %8.0f ms after it went in\n", Ms(Micros() - l0));
  std::fflush(stdout);

  const int64_t r0 = Micros();
  box.ReplaceText(thinned.bytes);
  const int64_t r1 = Micros();
  loop.ResetLongest();
  const int64_t quiet = loop.RunUntilSettled();
  std::printf("box: ReplaceText (one undo step)  %8.0f ms; then wrapping in the background until %.0f ms, "
              "no message longer than %.0f ms\n",
              Ms(r1 - r0), Ms(quiet - r0), Ms(loop.Longest()));
  std::printf("  -> the command's own time (ThinMoves + ReplaceText): %.0f ms\n", Ms(best + r1 - r0));
  const bool same = box.Text() == thinned.bytes;
  std::fflush(stdout);

  const int64_t u0 = Micros();
  box.Undo();
  const int64_t u1 = Micros();
  loop.RunUntilSettled();
  const bool back = box.Text() == text;
  std::printf("box: Undo                          %8.0f ms (%s)\n", Ms(u1 - u0),
              same && back ? "texts as expected" : "TEXT MISMATCH");
  std::fflush(stdout);
  DestroyWindow(top);
  return same && back ? 0 : 1;
}
