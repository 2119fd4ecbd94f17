#include "linux/x_session.h"

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <variant>

#include "linux/console.h"
#include "os/monotonic_posix.h"
#include "os/pc_keyboard.h"
#include "play/input_sink_x11.h"

// Xlib last: its macros (None, Status, ...) would clash with the names above.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/record.h>

namespace tesmuro::linux_x {

namespace {
std::function<void()>* g_onLost = nullptr;
std::atomic<bool> g_lost{false};

int OnXError(Display*, XErrorEvent*) { return 0; }

int OnIoError(Display*) {
  if (!g_lost.exchange(true)) {
    std::fputs("\n与 X 服务器的连接已断开。\n", stderr);
    if (g_onLost && *g_onLost) (*g_onLost)();
    std::fflush(nullptr);
    _exit(2);
  }
  // Another thread is already saving: wait for it to end the process.
  for (;;) pause();
}

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// Keys held by anyone, asked of the server (for the modifier record).
struct KeymapQuery {
  char keys[32] = {};
  static bool Down(uint32_t vk, void* context) {
    const auto* q = static_cast<KeymapQuery*>(context);
    // The record asks for the left and right keys by their own virtual keys,
    // each of which has one key: the extended bit picks nothing.
    const auto key = os::KeyByVk(static_cast<uint8_t>(vk), false);
    if (!key) return false;
    const unsigned code = key->evdev + os::kXKeycodeOffset;
    return code < 256 && (q->keys[code / 8] >> (code % 8)) & 1;
  }
};

// The display name used: `name`, or $DISPLAY.
std::string DisplayName(const std::string& name) { return name.empty() ? Env("DISPLAY") : name; }

// Opens a connection to `name` (or $DISPLAY when empty) and checks the
// extensions. Null with a message (UTF-8) in `error` when it cannot.
Display* OpenDisplay(const std::string& name, Needs needs, std::string& error) {
  const std::string display = DisplayName(name);
  if (display.empty()) {
    if (!Env("WAYLAND_DISPLAY").empty())
      error = "这是没有 XWayland 的 Wayland 会话：tesmuro 需要 X11（Xorg 或 XWayland）。"
              "请启用 XWayland，或在 X11 会话中运行。";
    else
      error = "没有 X 显示：DISPLAY 未设置。请在 X11 会话中运行，或用 --display 指定显示。";
    return nullptr;
  }
  Display* d = XOpenDisplay(display.c_str());
  if (!d) {
    error = "无法连接 X 显示“" + display + "”。";
    return nullptr;
  }
  int a, b, c, e;
  if (needs.xtest && !XTestQueryExtension(d, &a, &b, &c, &e)) {
    error = "X 服务器不支持 XTEST 扩展，无法回放。";
    XCloseDisplay(d);
    return nullptr;
  }
  if (needs.record && !XRecordQueryVersion(d, &a, &b)) {
    error = "X 服务器不支持 RECORD 扩展，无法录制或监听停止键。";
    XCloseDisplay(d);
    return nullptr;
  }
  return d;
}

// A notice for an X session that cannot see all input (XWayland), or empty.
std::string SessionNotice() {
  if (Env("XDG_SESSION_TYPE") == "wayland" || !Env("WAYLAND_DISPLAY").empty())
    return "注意：这是 Wayland 会话，只有 X 应用（XWayland）中的输入能被录制和回放。";
  return {};
}

// Protocol errors are ignored; a lost connection runs `onLost` (once, on
// whichever thread noticed) and ends the process with exit code 2.
void InstallErrorHandlers(std::function<void()> onLost) {
  static std::function<void()> stored;
  stored = std::move(onLost);
  g_onLost = &stored;
  XSetErrorHandler(OnXError);
  XSetIOErrorHandler(OnIoError);
}

}  // namespace

Display* Connect(const std::string& name, std::string& error) { return OpenDisplay(name, {}, error); }

uint32_t Session::ServerClock::TickCount() {
  return serverTime_ + static_cast<uint32_t>((os::MonotonicMicros() - mono_) / 1000);
}

std::string Session::Open(const std::string& name, Needs needs, Listen listen, std::function<void()> onLost,
                          const std::function<void(const std::string&)>& say) {
  std::string error;
  display_ = OpenDisplay(name, needs, error);
  if (!display_) return error;
  if (const std::string n = SessionNotice(); !n.empty()) say(n);
  // Before the listener's thread starts: it may be the one to see the server go.
  InstallErrorHandlers(std::move(onLost));
  if (std::string e = listener_.Start(DisplayName(name).c_str(), true, listen.pointer, listen.rawMotion);
      !e.empty())
    return e;
  translator_.SetLetters(listener_.Letters());
  translator_.SetNumLock(listener_.NumLockOn());
  screen_ = play::X11Screen(display_);
  translator_.SetAbsolutePointers(listener_.AbsolutePointers(), screen_);
  clock_.emplace(listener_.ServerTimeAtStart(), listener_.MonoMicrosAtStart());
  KeymapQuery keymap;
  XQueryKeymap(display_, keymap.keys);
  modifiers_.Sync(&KeymapQuery::Down, &keymap);
  return {};
}

Session::~Session() { Close(); }

void Session::Close() {
  const bool lost = listener_.Ended();
  listener_.Stop();
  // A connection to a server that went away is not closed: Xlib would call
  // the lost-connection handler, which ends the process.
  if (display_ && !lost) XCloseDisplay(display_);
  display_ = nullptr;
}

bool Session::Wait(int timeoutMs, std::vector<record::XInputEvent>& events) {
  pollfd fds[2] = {{listener_.EventFd(), POLLIN, 0}, {linux_console::SignalFd(), POLLIN, 0}};
  ::poll(fds, 2, timeoutMs);
  const bool signal = (fds[1].revents & POLLIN) && linux_console::TakeSignals();
  events.clear();
  listener_.Take(events);
  return signal;
}

std::optional<HookEvent> Session::Translate(const record::XInputEvent& event) {
  std::optional<HookEvent> ev = translator_.Translate(event);
  if (ev)
    if (auto* k = std::get_if<KeyHookEvent>(&*ev)) modifiers_.Apply(*k);
  return ev;
}

}  // namespace tesmuro::linux_x
