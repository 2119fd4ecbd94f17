// The desktop on X11, for the window lines and the waits.
//
// With a window manager that keeps the EWMH properties the windows are its
// clients (_NET_CLIENT_LIST_STACKING, else _NET_CLIENT_LIST), the one in
// front is _NET_ACTIVE_WINDOW and a window is brought to the front by asking
// the manager (a _NET_ACTIVE_WINDOW message, as a pager would). Without one
// (a bare X server) the windows are the root's mapped children, or the first
// window inside one that carries WM_CLASS, in the server's stacking order; the
// keys go where the input focus is, and a window comes to the front by being
// raised and given the focus. The desktop tells once (TakeNotice) that it had
// to make do with the window tree.
//
// A window is described by its client window, whatever frame the manager put
// around it: its title (_NET_WM_NAME, else WM_NAME), the class part of
// WM_CLASS, the name of the process behind _NET_WM_PID (/proc/PID/comm, so at
// most 15 bytes; nothing for a window of another machine), and the client
// area's rectangle in root coordinates. Pixels and pictures are read from the
// server's image of the root window.
//
// The connection is used by one thread at a time; the program's error
// handler must let protocol errors pass (a window may go away between two
// questions), as linux_x::Session's does. TakeNotice() may be called from
// any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "os/desktop.h"

typedef struct _XDisplay Display;

namespace tesmuro {

class X11Desktop final : public IDesktop {
 public:
  // Works on `display`, which outlives it and which no other thread uses
  // while it does.
  explicit X11Desktop(Display* display);
  // A desktop on a connection of its own to `name` (empty: $DISPLAY), closed
  // with it; null when the display cannot be opened.
  static std::unique_ptr<X11Desktop> Open(const std::string& name);
  ~X11Desktop() override;
  X11Desktop(const X11Desktop&) = delete;
  X11Desktop& operator=(const X11Desktop&) = delete;

  std::string_view System() const override { return "x11"; }
  std::vector<TopWindow> Windows() override;
  std::optional<TopWindow> Describe(uint64_t id) override;
  std::optional<TopWindow> WindowAt(int32_t x, int32_t y) override;
  std::optional<TopWindow> Foreground() override;
  bool Activate(uint64_t id) override;
  void StepAside(uint64_t id) override;
  void ComeBack(uint64_t id) override;
  std::optional<uint32_t> PixelAt(int32_t x, int32_t y) override;
  // Through the shared-memory extension where the server offers it (the
  // segment is kept for the next picture of the same size), else the plain
  // image request.
  std::optional<image::Image> Capture(const DesktopRect& area) override;
  bool CaptureInto(const DesktopRect& area, image::Image& into) override;
  std::string TakeNotice() override;

  // A window manager that keeps the EWMH properties runs now.
  bool ManagerRuns();

 private:
  struct Atoms;
  struct SharedImage;
  // ManagerRuns() as last asked, asked again when that was a while ago: a
  // wait looks many times a second, and managers seldom come and go.
  bool Managed();
  // The top-level windows (client windows), the front one first.
  std::vector<unsigned long> TopLevels(bool managed);
  // The client window in `frame` (a child of the root), 0 for none.
  unsigned long ClientIn(unsigned long frame, bool managed, const std::vector<unsigned long>& clients);
  void NoteTree();
  // Describe()'s parts: the title (UTF-8), the process behind the window
  // (its name and whether it is ours), and whether it is minimised.
  std::string TitleOf(unsigned long w);
  void NoteProcess(unsigned long w, TopWindow& t);
  bool Minimized(unsigned long w);

  Display* display_;
  bool owned_ = false;
  std::unique_ptr<Atoms> atoms_;
  std::unique_ptr<SharedImage> shared_;  // the last capture's, when shared memory works
  bool noSharedMemory_ = false;          // it failed once: the plain request from then on
  unsigned long root_;
  std::string host_;  // this machine's name, for WM_CLIENT_MACHINE
  bool toldTree_ = false;
  bool managed_ = false;
  int64_t managedAt_ = 0;  // when ManagerRuns() last asked (monotonic microseconds); 0: never
  std::mutex noticeLock_;
  std::string notice_;  // guarded by noticeLock_
};

}  // namespace tesmuro
