// What the control words cost the player, without the yield a loop that
// takes no time makes each round: the real player (TRunThread, the script
// read from a file, the structure pass before the run) on a clock whose
// waits return at once. Each yield is one SleepUntil(), so the clock counts
// the rounds; the time the run took, over the rounds, is what a round costs.
//
//   build/bench-native/bench/control_flow_bench
//
// Figures (printed, not asserted): nanoseconds a round of an empty 重复 and
// of a 跳到 back to its 标签; the structure pass's share of the run.
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "play/run_thread.h"
#include "play/shutdown.h"
#include "script/control_table.h"
#include "util/file_io.h"

namespace {

using namespace tesmuro;
using namespace tesmuro::play;

// Time stands still but for the waits, which end at once; after `rounds`
// yields the run is asked to stop.
class InstantClock final : public IPlayClock {
 public:
  int64_t NowMicros() override { return now_; }
  bool WaitUntil(int64_t deadline) override {
    if (deadline > now_ && deadline < now_ + 3600 * int64_t{1000000}) now_ = deadline;
    return true;
  }
  bool SleepUntil(int64_t deadline) override {
    if (++yields == stopAfter && player) player->RequestStop(true);
    return WaitUntil(deadline);
  }
  void Wake() override {}
  int64_t yields = 0;
  int64_t stopAfter = -1;
  TRunThread* player = nullptr;

 private:
  int64_t now_ = 1000000;
};

class NullSink final : public IInputSink {
 public:
  void MoveTo(int32_t, int32_t) override {}
  void MoveBy(int32_t, int32_t) override {}
  void Button(MouseButton, bool, std::optional<PointerPlace>) override {}
  void Wheel(WheelAxis, int32_t, int32_t, int32_t, std::optional<PointerPlace>) override {}
  void Key(const KeyStroke&) override {}
  void TypeCharacter(char32_t) override {}
  void ControllerMove(uint16_t, uint16_t, ControllerDelivery) override {}
  void ControllerButtons(uint32_t, ControllerDelivery) override {}
};

class NoShutdown final : public IShutdownRequester {
 public:
  bool OpenProcessToken(uint32_t, Token&) override { return false; }
  bool LookupPrivilegeValue(const char*, Luid&) override { return false; }
  bool AdjustTokenPrivileges(Token, const Luid&, uint32_t) override { return false; }
  uint32_t LastError() override { return 0; }
  bool ExitWindowsEx(uint32_t, uint32_t) override { return false; }
  void CloseToken(Token) override {}
};

struct Result {
  double seconds;
  int64_t rounds;
};

// Plays `script` (GBK) until it ends, or until `stopAfter` rounds.
Result Play(const std::string& script, int64_t stopAfter) {
  const std::string path = "/tmp/tesmuro-control-bench.crec";
  if (!WriteFileAtomically(path, script)) {
    std::fprintf(stderr, "error: cannot write %s\n", path.c_str());
    std::exit(2);
  }
  NullSink sink;
  NoShutdown shutdown;
  auto owned = std::make_unique<InstantClock>();
  InstantClock* clock = owned.get();
  TRunThread player(sink, shutdown, std::move(owned));
  clock->player = &player;
  clock->stopAfter = stopAfter;
  RunOptions o;
  const auto t0 = std::chrono::steady_clock::now();
  player.Start(OpenFile(path, "rb"), o);
  player.WaitFor();
  const auto t1 = std::chrono::steady_clock::now();
  std::remove(path.c_str());
  if (player.WhyStopped()) {
    std::fprintf(stderr, "error: the run stopped on its script\n");
    std::exit(1);
  }
  return {std::chrono::duration<double>(t1 - t0).count(), clock->yields};
}

}  // namespace

int main() {
  const std::string repeat(script::kWordRepeat), endRepeat(script::kWordEndRepeat);
  const std::string label(script::kWordLabel), jump(script::kWordJumpTo);
  constexpr int64_t kRounds = 2000000;

  const Result empty = Play(repeat + " " + std::to_string(kRounds) + "\r\n" + endRepeat + "\r\n", -1);
  const Result jumps = Play(label + " a\r\n" + jump + " a\r\n", kRounds);
  // A script of one line and nothing to go round: what starting and ending a run costs.
  const Result none = Play(label + " a\r\n", -1);

  std::printf("control words in the player (a clock whose waits end at once; the yield of a round that took\n"
              "no time is one call of it, and is in these figures)\n");
  std::printf("  empty 重复 %lld: %lld rounds, %.1f ns a round\n", static_cast<long long>(kRounds),
              static_cast<long long>(empty.rounds), (empty.seconds - none.seconds) * 1e9 / empty.rounds);
  std::printf("  标签/跳到 round trip: %lld rounds, %.1f ns a round\n", static_cast<long long>(jumps.rounds),
              (jumps.seconds - none.seconds) * 1e9 / jumps.rounds);
  std::printf("  a run of one line, start to end: %.3f ms\n", none.seconds * 1e3);
  return 0;
}
