// The desktop as recording and playback see it: the top-level windows, the
// one under a point and the one in front, the colour of a pixel and a picture
// of an area. The
// Windows program implements it over the window manager's own calls, the
// Linux program over the X server's EWMH and ICCCM properties (or the bare
// window tree where no window manager gives them); tests use a fake.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "image/image.h"
#include "util/rect.h"

namespace tesmuro {

// The desktop's rectangles are the common one.
using DesktopRect = Rect;

// A top-level window. Texts are UTF-8.
struct TopWindow {
  uint64_t id = 0;        // the system's handle; 0: none
  std::string process;    // the program's file name ("notepad.exe"; on X11 the process's name)
  std::string className;  // the window class (on X11 the class part of WM_CLASS)
  std::string title;      // the caption
  DesktopRect rect;       // in screen pixels
  bool visible = true;
  bool minimized = false;
  bool own = false;       // one of this program's own windows
};

class IDesktop {
 public:
  virtual ~IDesktop() = default;
  // The system whose window lines this desktop writes and reads: "win" or "x11".
  virtual std::string_view System() const = 0;
  // Every top-level window that has a title or is visible, the front one first.
  virtual std::vector<TopWindow> Windows() = 0;
  // One window as it is now; nothing when it is gone.
  virtual std::optional<TopWindow> Describe(uint64_t id) = 0;
  // The top-level window under a screen point, and the one in front (which
  // takes the keys); nothing when there is none.
  virtual std::optional<TopWindow> WindowAt(int32_t x, int32_t y) = 0;
  virtual std::optional<TopWindow> Foreground() = 0;
  // Asks for the window to come to the front; false when the system refused.
  virtual bool Activate(uint64_t id) = 0;
  // One of the program's own windows steps aside (minimised) while a run
  // needs what it covers, and comes back afterwards.
  virtual void StepAside(uint64_t id) = 0;
  virtual void ComeBack(uint64_t id) = 0;
  // The colour of a screen pixel as 0xRRGGBB; nothing when it cannot be read.
  virtual std::optional<uint32_t> PixelAt(int32_t x, int32_t y) = 0;
  // A picture of `area` (screen pixels) as the screen shows it now, one pixel
  // for each of the area's, opaque (alpha 255); what lies outside the screen
  // is black. Nothing when it cannot be taken (or this desktop takes none).
  virtual std::optional<image::Image> Capture(const DesktopRect& /*area*/) { return std::nullopt; }
  // The same into `into`, whose memory serves again when it is large enough
  // (a wait looks at one area many times); false when it cannot be taken.
  virtual bool CaptureInto(const DesktopRect& area, image::Image& into) {
    auto shot = Capture(area);
    if (!shot) return false;
    into = std::move(*shot);
    return true;
  }
  // Once, when the desktop had to make do with less than it needs (no window
  // manager's properties): what it says to the user; empty otherwise.
  virtual std::string TakeNotice() { return {}; }
};

}  // namespace tesmuro
