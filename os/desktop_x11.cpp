#include "os/desktop_x11.h"

#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <fstream>

#include "os/monotonic_posix.h"

// Xlib last: its macros (None, Status, ...) would clash with the names above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

namespace tesmuro {

namespace {

// Windows inside a frame are looked for this deep.
constexpr int kClientDepth = 3;
// How long the answer to whether a window manager runs is taken as it stands.
constexpr int64_t kManagerCheckMicros = 500000;
// ICCCM's WM_STATE value of a minimised window.
constexpr long kIconicState = 3;

std::string Latin1ToUtf8(std::string_view s) {
  std::string out;
  for (unsigned char c : s) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

bool IsUtf8(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    const size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

// A channel of a TrueColor pixel, scaled to 0..255.
uint32_t Channel(unsigned long pixel, unsigned long mask) {
  if (mask == 0) return 0;
  const int shift = std::countr_zero(mask);
  const int bits = std::popcount(mask);
  const unsigned long v = (pixel & mask) >> shift;
  const unsigned long max = bits >= 64 ? ~0ul : (1ul << bits) - 1;
  return static_cast<uint32_t>((v * 255 + max / 2) / max);
}

}  // namespace

struct X11Desktop::Atoms {
  Atom check, stacking, clients, active, name, utf8, pid, state, hidden, wmState;
};

X11Desktop::X11Desktop(Display* display) : display_(display), atoms_(std::make_unique<Atoms>()) {
  root_ = DefaultRootWindow(display_);
  const char* names[] = {"_NET_SUPPORTING_WM_CHECK", "_NET_CLIENT_LIST_STACKING", "_NET_CLIENT_LIST",
                         "_NET_ACTIVE_WINDOW",       "_NET_WM_NAME",              "UTF8_STRING",
                         "_NET_WM_PID",              "_NET_WM_STATE",             "_NET_WM_STATE_HIDDEN",
                         "WM_STATE"};
  Atom got[std::size(names)] = {};
  XInternAtoms(display_, const_cast<char**>(names), static_cast<int>(std::size(names)), False, got);
  *atoms_ = {got[0], got[1], got[2], got[3], got[4], got[5], got[6], got[7], got[8], got[9]};
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) == 0) host_ = host;
}

std::unique_ptr<X11Desktop> X11Desktop::Open(const std::string& name) {
  Display* d = XOpenDisplay(name.empty() ? nullptr : name.c_str());
  if (!d) return nullptr;
  auto desktop = std::make_unique<X11Desktop>(d);
  desktop->owned_ = true;
  return desktop;
}

// An image whose pixels the server writes into memory it shares with us.
struct X11Desktop::SharedImage {
  Display* display = nullptr;
  XImage* image = nullptr;
  XShmSegmentInfo segment{};
  bool attached = false;

  ~SharedImage() {
    if (attached) {
      XShmDetach(display, &segment);
      XSync(display, False);
    }
    if (segment.shmaddr && segment.shmaddr != reinterpret_cast<char*>(-1)) shmdt(segment.shmaddr);
    if (image) {
      image->data = nullptr;  // the segment's, not the heap's
      XDestroyImage(image);
    }
  }
  // A shared image of w x h in the screen's format; null when the segment
  // cannot be made or attached.
  static std::unique_ptr<SharedImage> Make(Display* d, int w, int h) {
    auto m = std::make_unique<SharedImage>();
    m->display = d;
    const int s = DefaultScreen(d);
    m->image = XShmCreateImage(d, DefaultVisual(d, s), static_cast<unsigned>(DefaultDepth(d, s)), ZPixmap, nullptr,
                               &m->segment, static_cast<unsigned>(w), static_cast<unsigned>(h));
    if (!m->image) return nullptr;
    m->segment.shmid = shmget(IPC_PRIVATE, static_cast<size_t>(m->image->bytes_per_line) * static_cast<size_t>(h),
                              IPC_CREAT | 0600);
    if (m->segment.shmid < 0) return nullptr;
    m->segment.shmaddr = m->image->data = static_cast<char*>(shmat(m->segment.shmid, nullptr, 0));
    // Marked for removal at once: it goes when both sides have let go, however the program ends.
    shmctl(m->segment.shmid, IPC_RMID, nullptr);
    if (m->segment.shmaddr == reinterpret_cast<char*>(-1)) return nullptr;
    m->segment.readOnly = False;
    if (!XShmAttach(d, &m->segment)) return nullptr;
    m->attached = true;
    return m;
  }
};

X11Desktop::~X11Desktop() {
  shared_.reset();
  if (owned_) XCloseDisplay(display_);
}

namespace {

// A property's items: bytes for format 8, longs for format 32 (as Xlib gives
// them). Empty when the window has none of that type (AnyPropertyType: any).
struct Property {
  Atom type = 0;
  int format = 0;
  unsigned long count = 0;
  std::string bytes;
  std::vector<unsigned long> longs;
};

Property Get(Display* d, Window w, Atom name, Atom type, long maxLongs = 1 << 16) {
  Property p;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(d, w, name, 0, maxLongs, False, type, &p.type, &format, &count, &after, &data) !=
      Success)
    return {};
  if (data) {
    p.format = format;
    p.count = count;
    if (format == 8) {
      p.bytes.assign(reinterpret_cast<const char*>(data), count);
    } else if (format == 32) {
      const auto* l = reinterpret_cast<const unsigned long*>(data);
      p.longs.assign(l, l + count);
    }
    XFree(data);
  }
  return p;
}

// The windows a property names (format 32, type WINDOW).
std::vector<unsigned long> WindowList(Display* d, Window w, Atom name) {
  Property p = Get(d, w, name, XA_WINDOW);
  return p.type == XA_WINDOW ? p.longs : std::vector<unsigned long>{};
}

std::vector<Window> Children(Display* d, Window w, Window* parent = nullptr) {
  Window root = 0, up = 0, *kids = nullptr;
  unsigned n = 0;
  std::vector<Window> out;
  if (!XQueryTree(d, w, &root, &up, &kids, &n)) return out;
  if (parent) *parent = up;
  out.assign(kids, kids + n);  // bottom first
  if (kids) XFree(kids);
  return out;
}

bool HasClass(Display* d, Window w) {
  XClassHint hint{};
  if (!XGetClassHint(d, w, &hint)) return false;
  if (hint.res_name) XFree(hint.res_name);
  if (hint.res_class) XFree(hint.res_class);
  return true;
}

}  // namespace

bool X11Desktop::ManagerRuns() {
  // The manager's check window names itself; a stale property left by a
  // manager that has gone names a window that no longer does.
  managedAt_ = os::MonotonicMicros();
  managed_ = false;
  const auto check = WindowList(display_, root_, atoms_->check);
  if (check.empty() || check[0] == 0) return false;
  const auto self = WindowList(display_, check[0], atoms_->check);
  if (self.empty() || self[0] != check[0]) return false;
  managed_ = Get(display_, root_, atoms_->stacking, XA_WINDOW, 0).type == XA_WINDOW ||
             Get(display_, root_, atoms_->clients, XA_WINDOW, 0).type == XA_WINDOW;
  return managed_;
}

bool X11Desktop::Managed() {
  if (managedAt_ != 0 && os::MonotonicMicros() - managedAt_ < kManagerCheckMicros) return managed_;
  return ManagerRuns();
}

void X11Desktop::NoteTree() {
  if (toldTree_) return;
  toldTree_ = true;
  std::lock_guard<std::mutex> l(noticeLock_);
  notice_ = "窗口管理器没有提供 _NET_ 属性，按 X 窗口树查找窗口。";
}

std::string X11Desktop::TakeNotice() {
  std::lock_guard<std::mutex> l(noticeLock_);
  return std::exchange(notice_, {});
}

unsigned long X11Desktop::ClientIn(unsigned long frame, bool managed, const std::vector<unsigned long>& clients) {
  auto isClient = [&](Window w) {
    return managed ? std::find(clients.begin(), clients.end(), w) != clients.end() : HasClass(display_, w);
  };
  // Breadth first, the front child first, a few levels deep.
  std::vector<Window> level{frame};
  for (int depth = 0; depth < kClientDepth && !level.empty(); ++depth) {
    std::vector<Window> next;
    for (Window w : level) {
      if (isClient(w)) return w;
      auto kids = Children(display_, w);
      next.insert(next.end(), kids.rbegin(), kids.rend());
    }
    level = std::move(next);
  }
  return 0;
}

std::vector<unsigned long> X11Desktop::TopLevels(bool managed) {
  std::vector<unsigned long> out;
  if (managed) {
    auto list = WindowList(display_, root_, atoms_->stacking);
    if (list.empty()) list = WindowList(display_, root_, atoms_->clients);
    out.assign(list.rbegin(), list.rend());  // the lists go from the bottom up
    return out;
  }
  NoteTree();
  const auto kids = Children(display_, root_);
  for (auto it = kids.rbegin(); it != kids.rend(); ++it) {
    XWindowAttributes a;
    if (!XGetWindowAttributes(display_, *it, &a) || a.override_redirect || a.map_state != IsViewable) continue;
    if (const unsigned long c = ClientIn(*it, false, {})) out.push_back(c);
  }
  return out;
}

std::vector<TopWindow> X11Desktop::Windows() {
  std::vector<TopWindow> out;
  for (unsigned long id : TopLevels(Managed())) {
    std::optional<TopWindow> w = Describe(id);
    if (w && (w->visible || !w->title.empty())) out.push_back(std::move(*w));
  }
  return out;
}

std::optional<TopWindow> X11Desktop::Describe(uint64_t id) {
  const Window w = static_cast<Window>(id);
  if (w == 0) return std::nullopt;
  XWindowAttributes a;
  if (!XGetWindowAttributes(display_, w, &a)) return std::nullopt;
  TopWindow t;
  t.id = id;
  int x = 0, y = 0;
  Window child = 0;
  if (!XTranslateCoordinates(display_, w, root_, 0, 0, &x, &y, &child)) return std::nullopt;
  t.rect = {x, y, a.width, a.height};
  t.title = TitleOf(w);
  if (XClassHint hint{}; XGetClassHint(display_, w, &hint)) {
    if (hint.res_class) t.className = hint.res_class;
    if (hint.res_name) XFree(hint.res_name);
    if (hint.res_class) XFree(hint.res_class);
  }
  NoteProcess(w, t);
  t.minimized = Minimized(w);
  t.visible = a.map_state == IsViewable || t.minimized;
  return t;
}

std::string X11Desktop::TitleOf(unsigned long w) {
  if (Property name = Get(display_, w, atoms_->name, atoms_->utf8); name.type == atoms_->utf8)
    return std::move(name.bytes);
  XTextProperty tp{};
  if (!XGetWMName(display_, w, &tp) || !tp.value) return {};
  const std::string_view raw(reinterpret_cast<const char*>(tp.value), tp.nitems);
  std::string title;
  if (tp.encoding == XA_STRING) {
    // Latin-1 by the rules; many programs put UTF-8 there all the same,
    // which Latin-1 text beyond ASCII hardly ever forms.
    title = IsUtf8(raw) ? std::string(raw) : Latin1ToUtf8(raw);
  } else if (tp.encoding == atoms_->utf8) {
    title = raw;
  } else {
    char** list = nullptr;
    int n = 0;
    if (Xutf8TextPropertyToTextList(display_, &tp, &list, &n) >= Success && list && n > 0)
      title = list[0];
    else
      title = raw;
    if (list) XFreeStringList(list);
  }
  XFree(tp.value);
  return title;
}

void X11Desktop::NoteProcess(unsigned long w, TopWindow& t) {
  Property pid = Get(display_, w, atoms_->pid, XA_CARDINAL);
  if (pid.longs.empty() || pid.longs[0] == 0) return;
  // A process of another machine has no name here.
  XTextProperty machine{};
  bool local = true;
  if (XGetWMClientMachine(display_, w, &machine) && machine.value) {
    local = std::string_view(reinterpret_cast<const char*>(machine.value), machine.nitems) == host_;
    XFree(machine.value);
  }
  if (!local) return;
  const long p = static_cast<long>(pid.longs[0]);
  std::ifstream comm("/proc/" + std::to_string(p) + "/comm");
  std::getline(comm, t.process);
  t.own = p == static_cast<long>(getpid());
}

bool X11Desktop::Minimized(unsigned long w) {
  // A manager's own word, else the ICCCM state an older manager keeps.
  if (Property st = Get(display_, w, atoms_->state, XA_ATOM); st.type == XA_ATOM)
    return std::find(st.longs.begin(), st.longs.end(), atoms_->hidden) != st.longs.end();
  const Property wm = Get(display_, w, atoms_->wmState, atoms_->wmState, 2);
  return !wm.longs.empty() && static_cast<long>(wm.longs[0]) == kIconicState;
}

std::optional<TopWindow> X11Desktop::WindowAt(int32_t x, int32_t y) {
  const int s = DefaultScreen(display_);
  if (x < 0 || y < 0 || x >= DisplayWidth(display_, s) || y >= DisplayHeight(display_, s)) return std::nullopt;
  int rx = 0, ry = 0;
  Window top = 0;
  if (!XTranslateCoordinates(display_, root_, root_, x, y, &rx, &ry, &top) || top == 0) return std::nullopt;
  const bool managed = Managed();
  std::vector<unsigned long> clients;
  if (managed) {
    clients = WindowList(display_, root_, atoms_->stacking);
    if (clients.empty()) clients = WindowList(display_, root_, atoms_->clients);
  } else {
    NoteTree();
  }
  const unsigned long client = ClientIn(top, managed, clients);
  if (!client) return std::nullopt;
  return Describe(client);
}

std::optional<TopWindow> X11Desktop::Foreground() {
  if (Managed()) {
    const auto active = WindowList(display_, root_, atoms_->active);
    if (active.empty() || active[0] == 0) return std::nullopt;
    return Describe(active[0]);
  }
  NoteTree();
  Window focus = 0;
  int revert = 0;
  XGetInputFocus(display_, &focus, &revert);
  if (focus == None) return std::nullopt;
  if (focus == PointerRoot) {
    // The keys go to the window under the pointer.
    Window r = 0, c = 0;
    int px = 0, py = 0, wx = 0, wy = 0;
    unsigned mask = 0;
    if (!XQueryPointer(display_, root_, &r, &c, &px, &py, &wx, &wy, &mask)) return std::nullopt;
    return WindowAt(px, py);
  }
  // The focus may be anywhere inside a top-level window: up to the root's child.
  Window w = focus;
  for (int i = 0; i < 64 && w != root_; ++i) {
    Window parent = 0;
    Children(display_, w, &parent);
    if (parent == 0) return std::nullopt;
    if (parent == root_) break;
    w = parent;
  }
  if (w == root_) return std::nullopt;
  const unsigned long client = ClientIn(w, false, {});
  if (!client) return std::nullopt;
  return Describe(client);
}

namespace {
// The root's child that holds `w` (itself when it is one), 0 for none.
Window TopAncestor(Display* d, Window root, Window w) {
  for (int i = 0; i < 64; ++i) {
    Window parent = 0;
    Children(d, w, &parent);
    if (parent == 0) return 0;
    if (parent == root) return w;
    w = parent;
  }
  return 0;
}
}  // namespace

bool X11Desktop::Activate(uint64_t id) {
  const Window w = static_cast<Window>(id);
  XWindowAttributes a;
  if (w == 0 || !XGetWindowAttributes(display_, w, &a)) return false;
  if (Managed()) {
    // Source 2: asked for by the user's own tool, as a pager does, which the
    // manager's focus-stealing prevention lets through.
    const auto active = WindowList(display_, root_, atoms_->active);
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = atoms_->active;
    e.xclient.format = 32;
    e.xclient.data.l[0] = 2;
    e.xclient.data.l[1] = CurrentTime;
    e.xclient.data.l[2] = active.empty() ? 0 : static_cast<long>(active[0]);
    const bool sent =
        XSendEvent(display_, root_, False, SubstructureRedirectMask | SubstructureNotifyMask, &e) != 0;
    XFlush(display_);
    return sent;
  }
  NoteTree();
  if (a.map_state != IsViewable) return false;
  if (const Window top = TopAncestor(display_, root_, w)) XRaiseWindow(display_, top);
  XSetInputFocus(display_, w, RevertToParent, CurrentTime);
  XFlush(display_);
  return true;
}

void X11Desktop::StepAside(uint64_t id) {
  const Window w = static_cast<Window>(id);
  if (Managed()) {
    XIconifyWindow(display_, w, DefaultScreen(display_));
  } else if (const Window top = TopAncestor(display_, root_, w)) {
    XUnmapWindow(display_, top);
  }
  XFlush(display_);
}

void X11Desktop::ComeBack(uint64_t id) {
  const Window w = static_cast<Window>(id);
  const Window top = Managed() ? w : TopAncestor(display_, root_, w);
  if (top) XMapRaised(display_, top);
  XFlush(display_);
}

std::optional<uint32_t> X11Desktop::PixelAt(int32_t x, int32_t y) {
  const int s = DefaultScreen(display_);
  if (x < 0 || y < 0 || x >= DisplayWidth(display_, s) || y >= DisplayHeight(display_, s)) return std::nullopt;
  XImage* image = XGetImage(display_, root_, x, y, 1, 1, AllPlanes, ZPixmap);
  if (!image) return std::nullopt;
  const unsigned long pixel = XGetPixel(image, 0, 0);
  Visual* v = DefaultVisual(display_, s);
  const unsigned long rm = image->red_mask ? image->red_mask : v->red_mask;
  const unsigned long gm = image->green_mask ? image->green_mask : v->green_mask;
  const unsigned long bm = image->blue_mask ? image->blue_mask : v->blue_mask;
  XDestroyImage(image);
  return Channel(pixel, rm) << 16 | Channel(pixel, gm) << 8 | Channel(pixel, bm);
}

std::optional<image::Image> X11Desktop::Capture(const DesktopRect& area) {
  image::Image out;
  if (!CaptureInto(area, out)) return std::nullopt;
  return out;
}

bool X11Desktop::CaptureInto(const DesktopRect& area, image::Image& out) {
  constexpr int32_t kMaxSide = 32768;
  if (area.width <= 0 || area.height <= 0 || area.width > kMaxSide || area.height > kMaxSide) return false;
  const int s = DefaultScreen(display_);
  const int64_t l = std::max<int64_t>(area.left, 0), t = std::max<int64_t>(area.top, 0);
  const int64_t r = std::min<int64_t>(int64_t{area.left} + area.width, DisplayWidth(display_, s));
  const int64_t b = std::min<int64_t>(int64_t{area.top} + area.height, DisplayHeight(display_, s));
  out.width = area.width;
  out.height = area.height;
  out.pixels.resize(static_cast<size_t>(area.width) * static_cast<size_t>(area.height));
  // What lies off the screen is black; the rest is written over below.
  if (l != area.left || t != area.top || r - l != area.width || b - t != area.height)
    std::fill(out.pixels.begin(), out.pixels.end(), 0xFF000000u);
  if (r <= l || b <= t) return true;  // all of it off the screen
  const int w = static_cast<int>(r - l), h = static_cast<int>(b - t);

  XImage* got = nullptr;
  bool shared = false;
  if (!noSharedMemory_) {
    if (!shared_ || shared_->image->width != w || shared_->image->height != h) {
      shared_.reset();
      if (XShmQueryExtension(display_)) shared_ = SharedImage::Make(display_, w, h);
    }
    // A server on another machine cannot reach our memory: the request fails
    // and the plain one serves from then on.
    if (shared_ && XShmGetImage(display_, root_, shared_->image, static_cast<int>(l), static_cast<int>(t), AllPlanes)) {
      got = shared_->image;
      shared = true;
    } else {
      shared_.reset();
      noSharedMemory_ = true;
    }
  }
  if (!got) got = XGetImage(display_, root_, static_cast<int>(l), static_cast<int>(t), static_cast<unsigned>(w),
                            static_cast<unsigned>(h), AllPlanes, ZPixmap);
  if (!got) return false;

  Visual* v = DefaultVisual(display_, s);
  const unsigned long rm = got->red_mask ? got->red_mask : v->red_mask;
  const unsigned long gm = got->green_mask ? got->green_mask : v->green_mask;
  const unsigned long bm = got->blue_mask ? got->blue_mask : v->blue_mask;
  const bool plain = got->bits_per_pixel == 32 && rm == 0xFF0000 && gm == 0xFF00 && bm == 0xFF &&
                     got->byte_order == (std::endian::native == std::endian::little ? LSBFirst : MSBFirst);
  for (int y = 0; y < h; ++y) {
    uint32_t* to = out.pixels.data() + static_cast<size_t>(t - area.top + y) * static_cast<size_t>(area.width) +
                   static_cast<size_t>(l - area.left);
    if (plain) {
      const auto* from = reinterpret_cast<const uint32_t*>(got->data + static_cast<size_t>(y) * static_cast<size_t>(got->bytes_per_line));
      for (int x = 0; x < w; ++x) to[x] = from[x] | 0xFF000000u;
    } else {
      for (int x = 0; x < w; ++x) {
        const unsigned long px = XGetPixel(got, x, y);
        to[x] = 0xFF000000u | Channel(px, rm) << 16 | Channel(px, gm) << 8 | Channel(px, bm);
      }
    }
  }
  if (!shared) XDestroyImage(got);
  return true;
}

}  // namespace tesmuro
