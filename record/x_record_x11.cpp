#include "record/x_record_x11.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xproto.h>
#include <X11/extensions/record.h>
#include <X11/keysym.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

namespace tesmuro::record {

namespace {
int64_t MonoMicros() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<int64_t>(t.tv_sec) * 1000000 + t.tv_nsec / 1000;
}
}  // namespace

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
    } else if (data->category == XRecordEndOfData) {
      me->ended_ = true;
    }
    XRecordFreeData(data);
  }
};

XRecordListener::XRecordListener()
    : wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), eventFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

XRecordListener::~XRecordListener() {
  Stop();
  if (wakeFd_ >= 0) ::close(wakeFd_);
  if (eventFd_ >= 0) ::close(eventFd_);
}

std::string XRecordListener::Start(const char* displayName, bool keys, bool pointer) {
  control_ = XOpenDisplay(displayName);
  data_ = XOpenDisplay(displayName);
  if (!control_ || !data_) return "无法连接 X 显示。";
  int major = 0, minor = 0;
  if (!XRecordQueryVersion(control_, &major, &minor)) return "X 服务器不支持 RECORD 扩展，无法录制。";
  ReadServerState();

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
  return {};
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
  monoAtStart_ = MonoMicros();
  XDestroyWindow(control_, w);

  letters_.fill(0);
  int minCode = 8, maxCode = 255;
  XDisplayKeycodes(control_, &minCode, &maxCode);
  for (int kc = minCode; kc <= maxCode && kc < 256; ++kc) {
    const KeySym ks = XkbKeycodeToKeysym(control_, static_cast<KeyCode>(kc), 0, 0);
    if (ks >= XK_a && ks <= XK_z) letters_[kc] = static_cast<uint8_t>('A' + (ks - XK_a));
  }
  unsigned state = 0;
  if (XkbGetIndicatorState(control_, XkbUseCoreKbd, &state) == Success) {
    const Atom numLock = XInternAtom(control_, "Num Lock", False);
    int index = -1;
    Bool on = False;
    if (XkbGetNamedIndicator(control_, numLock, &index, &on, nullptr, nullptr)) numLock_ = on;
  }
}

void XRecordListener::Deliver(const XInputEvent& e) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(e);
  }
  const uint64_t one = 1;
  (void)!::write(eventFd_, &one, sizeof one);
}

void XRecordListener::Run() {
  pollfd fds[2] = {{ConnectionNumber(data_), POLLIN, 0}, {wakeFd_, POLLIN, 0}};
  while (!ended_) {
    XRecordProcessReplies(data_);
    if (ended_) break;
    fds[0].revents = fds[1].revents = 0;
    if (::poll(fds, 2, -1) < 0) continue;
    if (fds[1].revents & POLLIN) break;
    if (fds[0].revents & (POLLERR | POLLHUP)) {
      XRecordProcessReplies(data_);  // lets Xlib report the broken connection
      break;
    }
  }
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
  if (data_) XCloseDisplay(data_);
  if (control_) XCloseDisplay(control_);
  data_ = control_ = nullptr;
}

void XRecordListener::Take(std::vector<XInputEvent>& out) {
  uint64_t n;
  while (::read(eventFd_, &n, sizeof n) > 0) {
  }
  std::lock_guard<std::mutex> lock(mutex_);
  out.insert(out.end(), queue_.begin(), queue_.end());
  queue_.clear();
}

}  // namespace tesmuro::record
