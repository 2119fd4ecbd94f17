// Test doubles for the player: a virtual clock, a sink that records each
// injected call with its virtual time, a shutdown requester that logs its
// steps, and script files.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "os/desktop.h"
#include "play/input_sink.h"
#include "play/play_clock.h"
#include "play/shutdown.h"
#include "script/script_format.h"
#include "support/gbk_script.h"

namespace tesmuro::play::test {

// Virtual time moves only when the player waits or a sink call costs time.
// Events scheduled with At() run on the player's thread when time reaches them.
class FakePlayClock final : public IPlayClock {
 public:
  // Far above 2^32 ms, so 32-bit time arithmetic anywhere would show.
  static constexpr int64_t kStart = int64_t{5000000} * 1000000;

  int64_t NowMicros() override {
    int64_t now;
    bool spinning;
    {
      std::lock_guard<std::mutex> l(m_);
      now = now_;
      spinning = ++reads_ == 1000000;  // a million reads and time stands still
    }
    if (spinning && onStuck) Stuck();
    return now;
  }
  int64_t Elapsed() { return NowMicros() - kStart; }
  void Wake() override {
    std::lock_guard<std::mutex> l(m_);
    woken_ = true;
    cv_.notify_all();
  }
  void At(int64_t offset, std::function<void()> f) {
    std::lock_guard<std::mutex> l(m_);
    events_.emplace(kStart + offset, std::move(f));
  }
  // Called, once, instead of waiting for ever or when the player spins without
  // waiting; must stop the player. Without it, a wait for ever blocks until
  // another thread calls Wake().
  std::function<void()> onStuck;
  bool stuck = false;

  bool WaitUntil(int64_t deadline) override { return Run(deadline, true); }
  void Advance(int64_t micros) { Run(NowMicros() + micros, false); }

 private:
  // Runs the events up to `target`, then sets the time to it. A wait ends
  // early when woken (by an event or before it began).
  bool Run(int64_t target, bool wait) {
    for (;;) {
      std::function<void()> event;
      {
        std::unique_lock<std::mutex> l(m_);
        if (wait && woken_) return woken_ = false;
        if (now_ >= target) return true;
        auto it = events_.begin();
        if (it != events_.end() && it->first <= target) {
          now_ = std::max(now_, it->first);
          event = std::move(it->second);
          events_.erase(it);
        } else if (target - now_ > (int64_t{1} << 60)) {
          if (!onStuck) {
            cv_.wait(l, [&] { return woken_; });
            continue;
          }
          event = [this] { Stuck(); };
        } else {
          now_ = target;
          reads_ = 0;
          return true;
        }
        reads_ = 0;
      }
      event();
    }
  }
  void Stuck() {
    if (!onStuck || stuck) std::abort();
    stuck = true;
    onStuck();
  }
  std::mutex m_;
  std::condition_variable cv_;
  int64_t now_ = kStart;
  bool woken_ = false;
  int64_t reads_ = 0;
  std::multimap<int64_t, std::function<void()>> events_;
};

// Records each call as text, with its virtual time when there is a clock; each
// call then costs `cost` microseconds (costAt[i] for call i).
class RecordingSink final : public IInputSink {
 public:
  FakePlayClock* clock = nullptr;
  std::vector<std::string> calls;
  std::vector<int64_t> times;
  int64_t cost = 0;
  std::map<size_t, int64_t> costAt;
  std::function<void()> onCall;

  void MoveTo(int32_t x, int32_t y) override { Add("cursor %d,%d", x, y); }
  void MoveBy(int32_t dx, int32_t dy) override { Add("moveby %d,%d", dx, dy); }
  // "left down 5 6": at 5,6; "left down": where the pointer is.
  void Button(MouseButton b, bool down, std::optional<PointerPlace> at) override {
    static const char* const names[] = {"left", "right", "middle", "x1", "x2"};
    if (at)
      Add("%s %s %d %d", names[static_cast<int>(b)], down ? "down" : "up", at->x, at->y);
    else
      Add("%s %s", names[static_cast<int>(b)], down ? "down" : "up");
  }
  // "wheel -120 5 6 at 3,4": the turn, the line's two numbers, the place.
  void Wheel(WheelAxis axis, int32_t turn, int32_t a, int32_t b, std::optional<PointerPlace> at) override {
    if (at)
      Add("%s %d %d %d at %d,%d", axis == WheelAxis::Vertical ? "wheel" : "hwheel", turn, a, b, at->x, at->y);
    else
      Add("%s %d %d %d", axis == WheelAxis::Vertical ? "wheel" : "hwheel", turn, a, b);
  }
  void Key(const KeyStroke& k) override {
    Add("key %d %d%s %s%s", k.vk, k.scan, k.extended ? "e" : "", k.up ? "up" : "down", k.scanOnly ? " scan-only" : "");
  }
  void TypeCharacter(char32_t cp) override { Add("type U+%04X", static_cast<unsigned>(cp)); }
  void EndTyping() override { Add("end typing"); }
  void ControllerMove(uint16_t x, uint16_t y, ControllerDelivery how) override {
    Add("joymove %d %d%s%s", x, y, how.broadcast ? " post" : "", how.hardwareInput ? " hw" : "");
  }
  void ControllerButtons(uint32_t b, ControllerDelivery how) override {
    Add("joybuttons %u%s%s", b, how.broadcast ? " post" : "", how.hardwareInput ? " hw" : "");
  }

  // What the sink reports of the screen and the foreground window.
  ScreenRect screen;
  ScreenRect Screen() override { return screen; }
  std::function<uint64_t()> foreground;
  std::function<bool()> refuses;
  int refusalChecks = 0;
  uint64_t ForegroundWindow() override { return foreground ? foreground() : 0; }
  bool ForegroundRefusesInput(uint64_t) override {
    ++refusalChecks;
    return refuses && refuses();
  }
  IDesktop* desktop = nullptr;
  IDesktop* Desktop() override { return desktop; }

  std::vector<int64_t> TimesOf(const std::string& prefix) const {
    std::vector<int64_t> r;
    for (size_t i = 0; i < calls.size(); ++i)
      if (calls[i].rfind(prefix, 0) == 0) r.push_back(times[i]);
    return r;
  }

 private:
  template <class... A>
  void Add(const char* format, A... args) {
    char text[128];
    std::snprintf(text, sizeof text, format, args...);
    const size_t index = calls.size();
    times.push_back(clock ? clock->Elapsed() : 0);
    calls.push_back(text);
    if (onCall) onCall();
    if (clock) clock->Advance(costAt.count(index) ? costAt[index] : cost);
  }
};

// A desktop of windows a test sets up: the first is in front, the window at a
// point is the first (front to back) whose rectangle holds it; activating a
// window brings it to the front at once unless `stubborn`. Pixels are given
// by `pixel`.
class FakeDesktop final : public IDesktop {
 public:
  std::string system = "win";
  std::vector<TopWindow> windows;
  bool stubborn = false;
  std::function<std::optional<uint32_t>(int32_t, int32_t)> pixel;
  std::vector<std::string> log;  // activate N, aside N, back N

  std::string_view System() const override { return system; }
  std::vector<TopWindow> Windows() override { return windows; }
  std::optional<TopWindow> Describe(uint64_t id) override {
    for (const TopWindow& w : windows)
      if (w.id == id) return w;
    return std::nullopt;
  }
  std::optional<TopWindow> WindowAt(int32_t x, int32_t y) override {
    for (const TopWindow& w : windows)
      if (w.visible && !w.minimized && w.rect.Contains(x, y)) return w;
    return std::nullopt;
  }
  std::optional<TopWindow> Foreground() override {
    if (windows.empty()) return std::nullopt;
    return windows.front();
  }
  bool Activate(uint64_t id) override {
    log.push_back("activate " + std::to_string(id));
    if (stubborn) return false;
    ToFront(id);
    return true;
  }
  void StepAside(uint64_t id) override {
    log.push_back("aside " + std::to_string(id));
    for (TopWindow& w : windows)
      if (w.id == id) w.minimized = true;
  }
  void ComeBack(uint64_t id) override {
    log.push_back("back " + std::to_string(id));
    for (TopWindow& w : windows)
      if (w.id == id) w.minimized = false;
  }
  std::optional<uint32_t> PixelAt(int32_t x, int32_t y) override {
    return pixel ? pixel(x, y) : std::nullopt;
  }
  // Pictures of an area; none: the desktop takes none. Counted.
  std::function<std::optional<image::Image>(const DesktopRect&)> capture;
  int captures = 0;
  std::optional<image::Image> Capture(const DesktopRect& area) override {
    ++captures;
    return capture ? capture(area) : std::nullopt;
  }
  void ToFront(uint64_t id) {
    auto it = std::find_if(windows.begin(), windows.end(), [&](auto& w) { return w.id == id; });
    if (it != windows.end()) std::rotate(windows.begin(), it, it + 1);
  }
};

// Holds a player thread inside a call (a sink's onCall, say) as a stalled
// system call would, until the test opens it. So that a faulty test cannot
// hang, it gives up after a minute and notes that it did.
class Gate {
 public:
  // On the player's thread: waits until Open().
  void Block() {
    std::unique_lock<std::mutex> l(m_);
    blocked_ = true;
    cv_.notify_all();
    if (!cv_.wait_for(l, std::chrono::minutes(1), [this] { return open_; })) gaveUp_ = true;
    blocked_ = false;
  }
  void AwaitBlocked() {
    std::unique_lock<std::mutex> l(m_);
    cv_.wait(l, [this] { return blocked_ || gaveUp_; });
  }
  // True while a thread waits in Block().
  bool Holding() {
    std::lock_guard<std::mutex> l(m_);
    return blocked_;
  }
  void Open() {
    std::lock_guard<std::mutex> l(m_);
    open_ = true;
    cv_.notify_all();
  }
  bool GaveUp() {
    std::lock_guard<std::mutex> l(m_);
    return gaveUp_;
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  bool blocked_ = false, open_ = false, gaveUp_ = false;
};

// Any clock: a wake-up ends the wait in progress, or else the next one, once.
inline void ExpectWakeEndsTheCurrentOrNextWaitOnce(IPlayClock& c) {
  EXPECT_TRUE(c.WaitUntil(c.NowMicros() - 1));
  c.Wake();
  EXPECT_FALSE(c.WaitUntil(std::numeric_limits<int64_t>::max()));  // pending wake-up
  const int64_t deadline = c.NowMicros() + 2000;
  EXPECT_TRUE(c.WaitUntil(deadline));  // consumed: this one runs to its deadline
  EXPECT_GE(c.NowMicros(), deadline);
  std::thread waker([&c] { c.Wake(); });
  EXPECT_FALSE(c.WaitUntil(std::numeric_limits<int64_t>::max()));
  waker.join();
}

// Logs the shutdown steps and answers as configured.
class FakeShutdown final : public IShutdownRequester {
 public:
  std::vector<std::string> log;
  bool openOk = true, exitOk = true;
  uint32_t lastError = 0;
  std::function<void()> onExit;

  bool OpenProcessToken(uint32_t access, Token& token) override {
    log.push_back("open " + std::to_string(access));
    if (openOk) token = &token_;
    return openOk;
  }
  bool LookupPrivilegeValue(const char* name, Luid& luid) override {
    log.push_back(std::string("lookup ") + name);
    luid = {19, 0};
    return true;
  }
  bool AdjustTokenPrivileges(Token token, const Luid& luid, uint32_t attributes) override {
    log.push_back(Tok(token, "adjust ") + " " + std::to_string(luid.low) + " " + std::to_string(attributes));
    return true;
  }
  uint32_t LastError() override { return log.push_back("last-error"), lastError; }
  bool ExitWindowsEx(uint32_t flags, uint32_t reason) override {
    log.push_back("exit " + std::to_string(flags) + " " + std::to_string(reason));
    if (onExit) onExit();
    return exitOk;
  }
  void CloseToken(Token token) override { log.push_back(Tok(token, "close ")); }
  int Exits() const {
    return static_cast<int>(std::count_if(log.begin(), log.end(), [](auto& s) { return s.rfind("exit", 0) == 0; }));
  }

 private:
  std::string Tok(Token t, const char* what) const { return what + std::string(t == &token_ ? "token" : "?"); }
  int token_ = 0;
};

// A script written in UTF-8, with the keywords turned into their GBK bytes.
inline std::string Gbk(std::string_view utf8) { return tesmuro::test::GbkScript(utf8); }

// A temporary file holding the script, at its start.
inline std::FILE* TempScript(std::string_view utf8) {
  const std::string bytes = Gbk(utf8);
  std::FILE* f = std::tmpfile();
  if (f) std::fwrite(bytes.data(), 1, bytes.size(), f), std::rewind(f);
  return f;
}

// With glibc, a script in memory whose FILE* counts its closes in *closes;
// elsewhere a temporary file and no count.
#if defined(__GLIBC__)
inline constexpr bool kCanCountCloses = true;
inline std::FILE* CountedScript(std::string_view utf8, int* closes) {
  struct State { std::string data; size_t pos; int* closes; };
  cookie_io_functions_t io{};
  io.read = [](void* c, char* buf, size_t n) -> ssize_t {
    auto* s = static_cast<State*>(c);
    n = std::min(n, s->data.size() - s->pos);
    std::memcpy(buf, s->data.data() + s->pos, n);
    s->pos += n;
    return static_cast<ssize_t>(n);
  };
  io.seek = [](void* c, off64_t* off, int whence) -> int {
    auto* s = static_cast<State*>(c);
    const off64_t to = *off + (whence == SEEK_CUR ? off64_t(s->pos) : whence == SEEK_END ? off64_t(s->data.size()) : 0);
    if (to < 0 || to > off64_t(s->data.size())) return -1;
    *off = to, s->pos = size_t(to);
    return 0;
  };
  io.close = [](void* c) -> int {
    auto* s = static_cast<State*>(c);
    ++*s->closes;
    delete s;
    return 0;
  };
  return fopencookie(new State{Gbk(utf8), 0, closes}, "rb", io);
}
#else
inline constexpr bool kCanCountCloses = false;
inline std::FILE* CountedScript(std::string_view utf8, int*) { return TempScript(utf8); }
#endif

}  // namespace tesmuro::play::test
