// tesmuro capture: the screen, or an area of it, as a PNG file for the
// picture waits of scripts written by hand.
#include <cstdlib>
#include <string>

#include "image/png_io.h"
#include "linux/commands.h"
#include "linux/console.h"
#include "os/desktop_x11.h"
#include "play/input_sink_x11.h"

// Xlib last: its macros (None, Status, ...) would clash with the names above.
#include <X11/Xlib.h>

namespace tesmuro::linux_cli {
namespace {

using linux_console::Out;

// A server that cannot reach our shared memory answers with an error; the
// capture then takes the plain way.
int IgnoreErrors(Display*, XErrorEvent*) { return 0; }

}  // namespace

int RunCapture(const Options& o) {
  const std::string name = o.display.value_or("");
  const char* env = std::getenv("DISPLAY");
  if (name.empty() && (!env || !*env)) {
    Out().Say("没有 X 显示：DISPLAY 未设置。请在 X11 会话中运行，或用 --display 指定显示。");
    return kExitError;
  }
  Display* d = XOpenDisplay(name.empty() ? nullptr : name.c_str());
  if (!d) {
    Out().Say("无法连接 X 显示“" + (name.empty() ? std::string(env) : name) + "”。");
    return kExitError;
  }
  XSetErrorHandler(IgnoreErrors);
  std::optional<image::Image> shot;
  {
    X11Desktop desktop(d);
    const ScreenRect screen = play::X11Screen(d);
    const DesktopRect area = o.area.value_or(screen);
    shot = desktop.Capture(area);
  }
  XCloseDisplay(d);
  if (!shot) {
    Out().Say("无法读取屏幕图像。");
    return kExitError;
  }
  if (!image::SavePng(o.file, *shot)) {
    Out().Say("无法写入 " + o.file + "。");
    return kExitError;
  }
  return kExitOk;
}

}  // namespace tesmuro::linux_cli
