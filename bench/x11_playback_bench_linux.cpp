// Playback timing of the Linux program on an X server (run it on a display,
// e.g. tests/linux/run_xvfb.sh build/.../x11_playback_bench): a pass of
// 2,000 actions 5 ms apart played by the real player, clock and XTest sink.
// Each action's lateness is measured when the sink is called (so the X
// server's delivery is not in it): median and p99, the drift of the last
// action, and the player's processor time, in all and outside the spins of
// the last stretch of each wait.
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "play/input_sink_x11.h"
#include "play/play_clock_linux.h"
#include "play/run_thread.h"
#include "play/shutdown.h"

#include <X11/Xlib.h>

namespace {

using namespace tesmuro;

int64_t Mono() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<int64_t>(t.tv_sec) * 1000000 + t.tv_nsec / 1000;
}

double CpuMicros() {
  rusage u;
  getrusage(RUSAGE_SELF, &u);
  return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e6 + u.ru_utime.tv_usec + u.ru_stime.tv_usec;
}

// Notes when each action reaches the sink, then hands it on.
class TimedSink final : public play::IInputSink {
 public:
  explicit TimedSink(play::IInputSink& inner) : inner_(inner) { at.reserve(4096); }
  void MoveTo(int32_t x, int32_t y) override { at.push_back(Mono()); inner_.MoveTo(x, y); }
  void MoveBy(int32_t dx, int32_t dy) override { at.push_back(Mono()); inner_.MoveBy(dx, dy); }
  void Button(play::MouseButton b, bool d, int32_t x, int32_t y) override {
    at.push_back(Mono());
    inner_.Button(b, d, x, y);
  }
  void Wheel(play::WheelAxis a, int32_t t, int32_t x, int32_t y) override {
    at.push_back(Mono());
    inner_.Wheel(a, t, x, y);
  }
  void Key(const play::KeyStroke& k) override { at.push_back(Mono()); inner_.Key(k); }
  void ControllerMove(uint16_t, uint16_t, play::ControllerDelivery) override {}
  void ControllerButtons(uint32_t, play::ControllerDelivery) override {}
  std::vector<int64_t> at;

 private:
  play::IInputSink& inner_;
};


}  // namespace

int main() {
  Display* d = XOpenDisplay(nullptr);
  if (!d) {
    std::fprintf(stderr, "no X display\n");
    return 2;
  }
  constexpr int kActions = 2000, kDelayMs = 5;
  const std::string path = "/tmp/tesmuro-bench-" + std::to_string(getpid()) + ".crec";
  {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fputs("\xD2\xC6\xB6\xAF 10,10\r\n", f);  // a move at the start
    for (int i = 0; i < kActions; ++i)
      std::fprintf(f, "\xD1\xD3\xB3\xD9 %d\r\n\xD2\xC6\xB6\xAF %d,%d\r\n", kDelayMs, 10 + i % 500, 20 + i % 300);
    std::fclose(f);
  }
  play::X11InputSink x(d, nullptr, nullptr);
  TimedSink sink(x);
  auto clock = std::make_unique<play::LinuxPlayClock>();
  play::LinuxPlayClock* c = clock.get();
  play::TRunThread t(sink, play::SystemShutdownRequester(), std::move(clock));
  t.ScriptFile = std::fopen(path.c_str(), "rb");
  const double cpu0 = CpuMicros();
  const int64_t wall0 = Mono();
  t.Resume();
  t.WaitFor();
  const int64_t wall = Mono() - wall0;
  const double cpu = CpuMicros() - cpu0;
  const int64_t spun = c->SpunMicros();
  unlink(path.c_str());

  if (sink.at.size() != kActions + 1) {
    std::fprintf(stderr, "%zu actions reached the sink\n", sink.at.size());
    return 1;
  }
  // Lateness against the player's own schedule: each action is due at the
  // start plus the delays before it; where the machine stalled for more than
  // 50 ms the player restarts its schedule from that moment (no burst), and
  // so does this count (the restarts are reported).
  std::vector<int64_t> late;
  int restarts = 0;
  int64_t base = sink.at[0], baseIndex = 0;
  for (int i = 1; i <= kActions; ++i) {
    int64_t l = sink.at[i] - (base + (i - baseIndex) * int64_t{kDelayMs} * 1000);
    if (l > 50000) {
      ++restarts;
      base = sink.at[i];
      baseIndex = i;
      l = 0;
    }
    late.push_back(l);
  }
  const int64_t drift = late.back();
  std::sort(late.begin(), late.end());
  std::printf("X11 playback: %d actions %d ms apart (%.2f s)\n", kActions, kDelayMs, wall / 1e6);
  std::printf("  lateness at the sink: median %.3f ms, p99 %.3f ms, max %.3f ms\n", late[late.size() / 2] / 1e3,
              late[late.size() * 99 / 100] / 1e3, late.back() / 1e3);
  std::printf("  drift of the last action: %.3f ms; schedule restarts after stalls of more than 50 ms: %d\n",
              drift / 1e3, restarts);
  std::printf("  player CPU: %.1f %% of a core in all, %.1f %% outside the last stretch of each wait "
              "(spin %.1f %%)\n",
              100.0 * cpu / wall, 100.0 * (cpu - spun) / wall, 100.0 * spun / wall);
  XCloseDisplay(d);
  return 0;
}
