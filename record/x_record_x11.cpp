#include "record/x_record_x11.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xproto.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/record.h>
#include <X11/keysym.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "os/monotonic_posix.h"

namespace tesmuro::record {

struct RecordCallback {
  static void OnData(XPointer self, XRecordInterceptData* data) {
    auto* me = reinterpret_cast<XRecordListener*>(self);
    if (data->category == XRecordFromServer && data->data_len * 4 >= sizeof(xEvent)) {
      const auto* ev = reinterpret_cast<const xEvent*>(data->data);
      XInputEvent e;
      e.type = ev->u.u.type & 0x7F;
      e.detail = ev->u.u.detail;
      e.rootX = ev->u.keyButtonPointer.rootX;
      e.rootY = ev->u.keyButtonPointer.rootY;
      e.time = ev->u.keyButtonPointer.time;
      me->Deliver(e);
    } else if (data->category == XRecordStartOfData) {
      me->MarkStarted();
    } else if (data->category == XRecordEndOfData) {
      me->endOfData_ = true;  // Ended() only once the round's events are handed over
    }
    XRecordFreeData(data);
  }
};

XRecordListener::XRecordListener() {
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeFd_ >= 0) eventFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (eventFd_ < 0) fdError_ = errno;
}

XRecordListener::~XRecordListener() {
  Stop();
  if (wakeFd_ >= 0) ::close(wakeFd_);
  if (eventFd_ >= 0) ::close(eventFd_);
}

std::string XRecordListener::Start(const char* displayName, bool keys, bool pointer, bool rawMotion) {
  // Without its descriptors the thread could be neither stopped nor heard.
  if (eventFd_ < 0) return std::string("无法创建事件描述符：") + std::strerror(fdError_) + "。";
  control_ = XOpenDisplay(displayName);
  data_ = XOpenDisplay(displayName);
  if (!control_ || !data_) return "无法连接 X 显示。";
  int major = 0, minor = 0;
  if (!XRecordQueryVersion(control_, &major, &minor)) return "X 服务器不支持 RECORD 扩展，无法录制。";
  ReadServerState();
  if (rawMotion) {
    if (std::string e = StartRawMotion(displayName); !e.empty()) return e;
  }

  XRecordRange* range = XRecordAllocRange();
  if (!range) return "内存不足。";
  range->device_events.first = keys ? KeyPress : ButtonPress;
  range->device_events.last = pointer ? MotionNotify : KeyRelease;
  XRecordClientSpec clients = XRecordAllClients;
  context_ = XRecordCreateContext(control_, 0, &clients, 1, &range, 1);
  XFree(range);
  XSync(control_, False);
  if (!context_) return "无法创建 RECORD 上下文。";
  if (!XRecordEnableContextAsync(data_, context_, &RecordCallback::OnData, reinterpret_cast<char*>(this)))
    return "无法启用 RECORD 上下文。";
  XFlush(data_);
  thread_ = std::thread([this] { Run(); });
  // The server says when the context records; until then input would be
  // lost, so Start() returns only then (a server that never says so is
  // given a few seconds, then taken at its word).
  std::unique_lock<std::mutex> lock(mutex_);
  startedCv_.wait_for(lock, std::chrono::seconds(5), [this] { return started_ || ended_.load(); });
  return {};
}

void XRecordListener::MarkStarted() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    started_ = true;
  }
  startedCv_.notify_all();
}

void XRecordListener::ReadServerState() {
  // The server's time: a property change on a window of our own comes back
  // with it.
  const Window root = DefaultRootWindow(control_);
  const Window w = XCreateSimpleWindow(control_, root, 0, 0, 1, 1, 0, 0, 0);
  XSelectInput(control_, w, PropertyChangeMask);
  const Atom atom = XInternAtom(control_, "_TESMURO_TIME", False);
  XChangeProperty(control_, w, atom, XA_STRING, 8, PropModeAppend, nullptr, 0);
  XEvent ev;
  XWindowEvent(control_, w, PropertyChangeMask, &ev);
  serverTime_ = static_cast<uint32_t>(ev.xproperty.time);
  monoAtStart_ = os::MonotonicMicros();
  XDestroyWindow(control_, w);

  letters_.fill(0);
  int minCode = 8, maxCode = 255;
  XDisplayKeycodes(control_, &minCode, &maxCode);
  for (int kc = minCode; kc <= maxCode && kc < 256; ++kc) {
    const KeySym ks = XkbKeycodeToKeysym(control_, static_cast<KeyCode>(kc), 0, 0);
    if (ks >= XK_a && ks <= XK_z) letters_[kc] = static_cast<uint8_t>('A' + (ks - XK_a));
  }
  // Without the indicator NumLock stays taken as on.
  const Atom numLock = XInternAtom(control_, "Num Lock", False);
  int index = -1;
  Bool on = False;
  if (XkbGetNamedIndicator(control_, numLock, &index, &on, nullptr, nullptr)) numLock_ = on;
}

std::string XRecordListener::StartRawMotion(const char* displayName) {
  raw_ = XOpenDisplay(displayName);
  if (!raw_) return "无法连接 X 显示。";
  int event = 0, error = 0;
  if (!XQueryExtension(raw_, "XInputExtension", &xiOpcode_, &event, &error))
    return "X 服务器不支持 XInput 扩展，无法按游戏模式录制鼠标的相对移动。";
  int major = 2, minor = 2;
  if (XIQueryVersion(raw_, &major, &minor) != Success || major < 2)
    return "X 服务器的 XInput 版本低于 2.0，无法按游戏模式录制鼠标的相对移动。";

  // Pointers whose x axis reports positions: their motion is the difference
  // between two positions.
  int count = 0;
  if (XIDeviceInfo* info = XIQueryDevice(raw_, XIAllDevices, &count)) {
    for (int i = 0; i < count; ++i) {
      const XIDeviceInfo& d = info[i];
      if (d.use != XISlavePointer && d.use != XIFloatingSlave) continue;
      XAbsolutePointer range;
      bool absolute = false;
      for (int c = 0; c < d.num_classes; ++c) {
        if (d.classes[c]->type != XIValuatorClass) continue;
        const auto* v = reinterpret_cast<const XIValuatorClassInfo*>(d.classes[c]);
        if (v->number == 0) {
          absolute = v->mode == XIModeAbsolute;
          range.minX = v->min;
          range.maxX = v->max;
        } else if (v->number == 1) {
          range.minY = v->min;
          range.maxY = v->max;
        }
      }
      if (absolute) absolute_[d.deviceid] = range;
    }
    XIFreeDeviceInfo(info);
  }

  unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
  XIEventMask mask;
  mask.deviceid = XIAllMasterDevices;  // once per motion, with the device it came from
  mask.mask_len = sizeof bits;
  mask.mask = bits;
  XISetMask(bits, XI_RawMotion);
  XISelectEvents(raw_, DefaultRootWindow(raw_), &mask, 1);
  XSync(raw_, False);
  return {};
}

// Copies each raw motion event that has arrived; never blocks.
void XRecordListener::ReadRawMotion() {
  while (XPending(raw_) > 0) {
    XEvent ev;
    XNextEvent(raw_, &ev);
    XGenericEventCookie* cookie = &ev.xcookie;
    if (cookie->type != GenericEvent || cookie->extension != xiOpcode_ || !XGetEventData(raw_, cookie)) continue;
    if (cookie->evtype == XI_RawMotion) {
      const auto* r = static_cast<const XIRawEvent*>(cookie->data);
      XInputEvent e;
      e.type = kXRawMotion;
      e.time = static_cast<uint32_t>(r->time);
      e.sourceId = r->sourceid;
      // The values are packed: one for each valuator set in the mask.
      int k = 0;
      for (int i = 0; i < 2 && i < r->valuators.mask_len * 8; ++i) {
        if (!XIMaskIsSet(r->valuators.mask, i)) continue;
        (i == 0 ? e.rawX : e.rawY) = r->raw_values[k++];
        e.axes |= static_cast<uint8_t>(1 << i);
      }
      if (e.axes) Deliver(e);
    }
    XFreeEventData(raw_, cookie);
  }
}

void XRecordListener::Deliver(const XInputEvent& e) { batch_.push_back(e); }

// Hands what one round of the thread read from its connections to the owner
// at once, in the server's order: the owner never takes an event without the
// ones the other connection had for it (a raw motion just before a button
// press), and is woken once.
void XRecordListener::Publish() {
  if (batch_.empty()) return;
  if (raw_)
    std::stable_sort(batch_.begin(), batch_.end(), [](const XInputEvent& a, const XInputEvent& b) {
      return static_cast<int32_t>(a.time - b.time) < 0;
    });
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.insert(queue_.end(), batch_.begin(), batch_.end());
  }
  batch_.clear();
  const uint64_t one = 1;
  (void)!::write(eventFd_, &one, sizeof one);
}

void XRecordListener::Run() {
  pollfd fds[3] = {{ConnectionNumber(data_), POLLIN, 0},
                   {wakeFd_, POLLIN, 0},
                   {raw_ ? ConnectionNumber(raw_) : -1, POLLIN, 0}};
  while (!endOfData_) {
    // Both connections are read before the round is handed over, so an
    // event read from one is never handed over without the earlier ones the
    // other already had.
    XRecordProcessReplies(data_);
    if (raw_) ReadRawMotion();
    Publish();
    if (endOfData_) break;
    fds[0].revents = fds[1].revents = fds[2].revents = 0;
    if (::poll(fds, 3, -1) < 0) continue;
    if (fds[1].revents & POLLIN) break;
    if (fds[0].revents & (POLLERR | POLLHUP)) {
      XRecordProcessReplies(data_);  // lets Xlib report the broken connection
      break;
    }
    if (fds[2].revents & (POLLERR | POLLHUP)) {
      ReadRawMotion();
      break;
    }
  }
  Publish();
  ended_ = true;
  const uint64_t one = 1;
  (void)!::write(eventFd_, &one, sizeof one);
}

void XRecordListener::Stop() {
  if (thread_.joinable()) {
    const uint64_t one = 1;
    (void)!::write(wakeFd_, &one, sizeof one);
    thread_.join();
  }
  if (control_ && context_) {
    XRecordDisableContext(control_, context_);
    XRecordFreeContext(control_, context_);
    XSync(control_, False);
    context_ = 0;
  }
  if (raw_) XCloseDisplay(raw_);
  if (data_) XCloseDisplay(data_);
  if (control_) XCloseDisplay(control_);
  raw_ = data_ = control_ = nullptr;
}

void XRecordListener::Take(std::vector<XInputEvent>& out) {
  uint64_t n;
  while (::read(eventFd_, &n, sizeof n) > 0) {
  }
  std::lock_guard<std::mutex> lock(mutex_);
  const std::size_t from = out.size();
  out.insert(out.end(), queue_.begin(), queue_.end());
  queue_.clear();
  // Two connections: rounds not yet taken are put in the server's order too.
  if (raw_)
    std::stable_sort(out.begin() + static_cast<std::ptrdiff_t>(from), out.end(),
                     [](const XInputEvent& a, const XInputEvent& b) {
                       return static_cast<int32_t>(a.time - b.time) < 0;
                     });
}

}  // namespace tesmuro::record
