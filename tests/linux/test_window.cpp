// A window for the tests of the waits: it appears after a delay at a given
// place and logs what happens to it, one line at a time, to a file:
//   mapped X Y          shown; its client area's corner in root coordinates
//   click BUTTON X Y    a button pressed at X, Y in client coordinates
//   key KEYCODE         a key pressed while it had the focus
//   char CP             the character that key gives (its code point, as the
//                       window's keyboard mapping reads it), if any
//   painted             its colour changed (--paint), and the pattern of
//                       tests/linux/test_pattern.h drawn with its top-left
//                       corner at client X, Y (--pattern X,Y)
//
//   tesmuro_xwin --log FILE [--at X,Y] [--size W,H] [--after MS] [--title TEXT]
//                [--class NAME] [--color RRGGBB] [--paint RRGGBB --paint-after MS]
//                [--pattern X,Y] [--no-net-name] [--life MS]
//
// The title goes into _NET_WM_NAME (UTF-8) and WM_NAME (--no-net-name: only
// WM_NAME); the position is asked for as the user's, which window managers
// honour. It ends after --life (60 s by default) or when killed.
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "test_pattern.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

using Clock = std::chrono::steady_clock;

FILE* g_log = nullptr;

void Log(const std::string& line) {
  std::fprintf(g_log, "%s\n", line.c_str());
  std::fflush(g_log);
}

bool Pair(const char* text, int& a, int& b) { return std::sscanf(text, "%d,%d", &a, &b) == 2; }

unsigned long Rgb(const char* text) { return std::strtoul(text, nullptr, 16); }

// The pattern at client x, y, pixel by pixel (a TrueColor visual of 24 bits
// takes 0xRRGGBB as the pixel value).
void DrawPattern(Display* d, Window w, int x, int y) {
  GC gc = XCreateGC(d, w, 0, nullptr);
  for (int j = 0; j < tesmuro::test::kPatternHeight; ++j)
    for (int i = 0; i < tesmuro::test::kPatternWidth; ++i) {
      XSetForeground(d, gc, tesmuro::test::PatternPixel(i, j));
      XDrawPoint(d, w, gc, x + i, y + j);
    }
  XFreeGC(d, gc);
}

int MillisUntil(Clock::time_point t) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t - Clock::now()).count();
  return ms < 0 ? 0 : static_cast<int>(ms);
}

}  // namespace

int main(int argc, char** argv) {
  int x = 0, y = 0, w = 200, h = 150, after = 0, life = 60000;
  std::string title = "tesmuro test window", className = "TesmuroXwin", logFile;
  unsigned long color = 0xC0C0C0;
  std::optional<unsigned long> paint;
  int paintAfter = 0;
  std::optional<std::pair<int, int>> pattern;
  bool netName = true;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const char* v = i + 1 < argc ? argv[i + 1] : "";
    bool ok = true;
    if (a == "--no-net-name") {
      netName = false;
      continue;
    }
    if (a == "--log") logFile = v;
    else if (a == "--at") ok = Pair(v, x, y);
    else if (a == "--size") ok = Pair(v, w, h);
    else if (a == "--after") after = std::atoi(v);
    else if (a == "--title") title = v;
    else if (a == "--class") className = v;
    else if (a == "--color") color = Rgb(v);
    else if (a == "--paint") paint = Rgb(v);
    else if (a == "--paint-after") paintAfter = std::atoi(v);
    else if (a == "--life") life = std::atoi(v);
    else if (a == "--pattern") ok = Pair(v, (pattern = std::pair<int, int>{}).value().first, pattern->second);
    else ok = false;
    if (!ok) {
      std::fprintf(stderr, "tesmuro_xwin: bad argument %s\n", a.c_str());
      return 2;
    }
    ++i;
  }
  g_log = logFile.empty() ? stdout : std::fopen(logFile.c_str(), "a");
  if (!g_log) return 2;
  const auto start = Clock::now();
  const auto end = start + std::chrono::milliseconds(life);

  Display* d = XOpenDisplay(nullptr);
  if (!d) return 2;
  const Window root = DefaultRootWindow(d);
  XSetWindowAttributes attrs{};
  attrs.background_pixel = color;
  attrs.event_mask = ButtonPressMask | KeyPressMask | ExposureMask | StructureNotifyMask;
  const Window win = XCreateWindow(d, root, x, y, static_cast<unsigned>(w), static_cast<unsigned>(h), 0,
                                   CopyFromParent, InputOutput, CopyFromParent, CWBackPixel | CWEventMask, &attrs);
  XSizeHints size{};
  size.flags = USPosition | USSize;
  size.x = x;
  size.y = y;
  size.width = w;
  size.height = h;
  XSetWMNormalHints(d, win, &size);
  XClassHint cls{const_cast<char*>("xwin"), className.data()};
  XSetClassHint(d, win, &cls);
  XStoreName(d, win, title.c_str());
  if (netName)
    XChangeProperty(d, win, XInternAtom(d, "_NET_WM_NAME", False), XInternAtom(d, "UTF8_STRING", False), 8,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(title.data()),
                    static_cast<int>(title.size()));
  const long pid = getpid();
  XChangeProperty(d, win, XInternAtom(d, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&pid), 1);
  char host[256] = {};
  gethostname(host, sizeof host - 1);
  XChangeProperty(d, win, XA_WM_CLIENT_MACHINE, XA_STRING, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(host), static_cast<int>(std::strlen(host)));
  XWMHints hints{};
  hints.flags = InputHint;
  hints.input = True;
  XSetWMHints(d, win, &hints);

  // Shown after the delay, then painted after its own.
  const auto showAt = start + std::chrono::milliseconds(after);
  const auto paintAt = showAt + std::chrono::milliseconds(paintAfter);
  bool shown = false, painted = !paint;
  const int fd = ConnectionNumber(d);
  while (Clock::now() < end) {
    if (!shown && Clock::now() >= showAt) {
      XMapWindow(d, win);
      XFlush(d);
      shown = true;
    }
    if (shown && !painted && Clock::now() >= paintAt) {
      XSetWindowBackground(d, win, *paint);
      XClearWindow(d, win);
      if (pattern) DrawPattern(d, win, pattern->first, pattern->second);
      XSync(d, False);
      painted = true;
      Log("painted");
    }
    while (XPending(d)) {
      XEvent e;
      XNextEvent(d, &e);
      if (e.type == MapNotify && e.xmap.window == win) {
        int rx = 0, ry = 0;
        Window child;
        XTranslateCoordinates(d, win, root, 0, 0, &rx, &ry, &child);
        Log("mapped " + std::to_string(rx) + " " + std::to_string(ry));
      } else if (e.type == Expose && paint && painted && pattern) {
        DrawPattern(d, win, pattern->first, pattern->second);
      } else if (e.type == ButtonPress) {
        Log("click " + std::to_string(e.xbutton.button) + " " + std::to_string(e.xbutton.x) + " " +
            std::to_string(e.xbutton.y));
      } else if (e.type == KeyPress) {
        Log("key " + std::to_string(e.xkey.keycode));
        char text[16];
        KeySym sym = NoSymbol;
        XLookupString(&e.xkey, text, sizeof text, &sym, nullptr);
        if ((sym >= 0x20 && sym <= 0x7E) || (sym >= 0xA0 && sym <= 0xFF))
          Log("char " + std::to_string(sym));
        else if (sym >= 0x01000100 && sym <= 0x0110FFFF)
          Log("char " + std::to_string(sym - 0x01000000));
      }
    }
    int wait = MillisUntil(end);
    if (!shown) wait = std::min(wait, MillisUntil(showAt));
    else if (!painted) wait = std::min(wait, MillisUntil(paintAt));
    pollfd p{fd, POLLIN, 0};
    poll(&p, 1, wait);
  }
  XCloseDisplay(d);
  return 0;
}
