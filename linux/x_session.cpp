#include "linux/x_session.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/record.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

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
}  // namespace

std::string DisplayName(const std::string& name) { return name.empty() ? Env("DISPLAY") : name; }

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

std::string SessionNotice() {
  if (Env("XDG_SESSION_TYPE") == "wayland" || !Env("WAYLAND_DISPLAY").empty())
    return "注意：这是 Wayland 会话，只有 X 应用（XWayland）中的输入能被录制和回放。";
  return {};
}

void InstallErrorHandlers(std::function<void()> onLost) {
  static std::function<void()> stored;
  stored = std::move(onLost);
  g_onLost = &stored;
  XSetErrorHandler(OnXError);
  XSetIOErrorHandler(OnIoError);
}

}  // namespace tesmuro::linux_x
