// XInput 2 raw events of the master devices, selected on the root window of a
// connection of the listener's own: a thread waits on the connection's socket
// and records each event's type, detail and server time, stamped with
// CLOCK_MONOTONIC as soon as it is read. For the X11 tests and the playback
// benchmark, which watch the program from outside.
#pragma once

#include <poll.h>

#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "os/monotonic_posix.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

namespace tesmuro::test {

struct RawEvent {
  int type;        // XI_RawKeyPress, ...
  int detail;      // keycode or button
  Time time;       // the server's milliseconds
  int64_t at;      // arrival, CLOCK_MONOTONIC microseconds
};

class XiRawListener {
 public:
  // Listens to the raw event types `types` (XI_RawKeyPress, ...) on the
  // default display; Error() tells why it does not.
  explicit XiRawListener(std::initializer_list<int> types, std::size_t expected = 0) {
    events_.reserve(expected);
    display_ = XOpenDisplay(nullptr);
    if (!display_) {
      error_ = "no X display (run through tests/linux/run_xvfb.sh)";
      return;
    }
    int event, err;
    if (!XQueryExtension(display_, "XInputExtension", &opcode_, &event, &err)) {
      error_ = "the X server has no XInput extension";
      return;
    }
    int major = 2, minor = 2;
    if (XIQueryVersion(display_, &major, &minor) != Success) {
      error_ = "the X server has no XInput 2";
      return;
    }
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XIEventMask mask;
    mask.deviceid = XIAllMasterDevices;
    mask.mask_len = sizeof bits;
    mask.mask = bits;
    for (int type : types) XISetMask(bits, type);
    XISelectEvents(display_, DefaultRootWindow(display_), &mask, 1);
    XSync(display_, False);
    thread_ = std::thread([this] { Run(); });
  }
  ~XiRawListener() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (display_) XCloseDisplay(display_);
  }
  XiRawListener(const XiRawListener&) = delete;
  XiRawListener& operator=(const XiRawListener&) = delete;

  // Empty when listening.
  const std::string& Error() const { return error_; }
  std::vector<RawEvent> Events() {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }

 private:
  void Run() {
    pollfd p{ConnectionNumber(display_), POLLIN, 0};
    while (!stop_) {
      while (XPending(display_)) {
        XEvent ev;
        XNextEvent(display_, &ev);
        const int64_t at = os::MonotonicMicros();
        if (ev.xcookie.type == GenericEvent && ev.xcookie.extension == opcode_ &&
            XGetEventData(display_, &ev.xcookie)) {
          const auto* raw = static_cast<const XIRawEvent*>(ev.xcookie.data);
          {
            std::lock_guard<std::mutex> lock(mutex_);
            events_.push_back({raw->evtype, raw->detail, raw->time, at});
          }
          XFreeEventData(display_, &ev.xcookie);
        }
      }
      ::poll(&p, 1, 20);  // wakes as soon as the server writes; the timeout only checks stop_
    }
  }

  Display* display_ = nullptr;
  int opcode_ = 0;
  std::string error_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::mutex mutex_;
  std::vector<RawEvent> events_;
};

}  // namespace tesmuro::test
