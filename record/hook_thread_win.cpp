#include "record/hook_thread_win.h"

#include <atomic>

namespace tesmuro::win {
namespace {

// The hook procedures are plain functions: they find the core here. Set by
// the interface thread, read by the hook thread.
std::atomic<detail::HookThreadCore*> g_hooks{nullptr};

// Requests to the hook thread; wParam carries the request's number.
enum : UINT {
  kInstallMouse = WM_APP + 1,
  kUninstallMouse,
  kInstallKey,
  kUninstallKey,
  kReinstallKey,
  kDropKeyForTest,
  kInstallRaw,
  kUninstallRaw,
  kStallForTest,  // wParam: milliseconds; not answered
};

constexpr wchar_t kRawWindowClass[] = L"TesmuroRawInput";

double QpcMicros() noexcept {
  static const double perMicro = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart) / 1e6;
  }();
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) / perMicro;
}

bool SystemKeyDown(uint32_t vk, void*) { return GetAsyncKeyState(static_cast<int>(vk)) < 0; }

}  // namespace

namespace detail {

// The hook thread and everything it touches (see HookThread).
class HookThreadCore {
 public:
  HookThreadCore(HWND window, UINT message);
  // Asks the thread to end and waits for it a while. True when it has ended:
  // nothing touches the core any more.
  bool Quit();

  bool InstallMouseHook();
  void UninstallMouseHook();
  bool InstallKeyboardHook();
  void UninstallKeyboardHook();
  bool CheckKeyboardHook();
  bool InstallRawMotion();
  void UninstallRawMotion();
  void TakeEvents(std::vector<HookEvent>& out);
  uint64_t DroppedEvents() const { return queue_.Dropped(); }
  void MeasureProcedureTimes(bool on);
  std::vector<double> ProcedureTimes();
  void SetWatchdogTiming(HookWatchdog::Timing timing) { watchdog_ = HookWatchdog(timing); }
  bool DropKeyboardHookForTest();
  void StallForTest(DWORD ms);
  void SetRequestTimeoutForTest(DWORD ms) { requestTimeoutMs_ = ms; }

 private:
  static DWORD WINAPI ThreadMain(LPVOID self) noexcept;
  static LRESULT CALLBACK MouseProc(int code, WPARAM wParam, LPARAM lParam) noexcept;
  static LRESULT CALLBACK KeyProc(int code, WPARAM wParam, LPARAM lParam) noexcept;
  static LRESULT CALLBACK RawWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept;
  // Hook thread: one WM_INPUT.
  void OnRawInput(HRAWINPUT input) noexcept;
  // Sends a request to the hook thread and waits for its answer (false when
  // none comes in time).
  bool Request(UINT what);
  void Push(const HookEvent& e) noexcept;
  // Hook thread: the answer to one request.
  bool Serve(UINT what, WPARAM arg);

  HWND window_;
  UINT message_;
  HANDLE thread_ = nullptr;
  DWORD threadId_ = 0;
  HANDLE ready_ = nullptr;
  DWORD requestTimeoutMs_ = 5000;
  HookRequests requests_;
  HookEventQueue queue_;
  // Hook thread only.
  HHOOK mouse_ = nullptr;
  HHOOK key_ = nullptr;
  HWND raw_ = nullptr;            // the raw input's window, while registered
  RawMotionTracker rawMotion_;
  ModifierTracker modifiers_;
  const KeyHookEvent* passing_ = nullptr;  // the key event being passed down the hook chain
  // Written by the hook thread, read by the interface thread's watchdog.
  std::atomic<uint32_t> lastKeyEventTick_{0};
  HookWatchdog watchdog_;  // interface thread
  std::atomic<bool> measure_{false};
  std::mutex timesMutex_;
  std::vector<double> times_;  // guarded by timesMutex_
};

}  // namespace detail

using detail::HookThreadCore;

HookThreadCore::HookThreadCore(HWND window, UINT message) : window_(window), message_(message) {
  g_hooks.store(this);
  ready_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  thread_ = CreateThread(nullptr, 0, &HookThreadCore::ThreadMain, this, 0, &threadId_);
  if (thread_) {
    // Input must never wait for us: the hook thread outranks the others.
    SetThreadPriority(thread_, THREAD_PRIORITY_TIME_CRITICAL);
    WaitForSingleObject(ready_, INFINITE);
  }
  if (ready_) CloseHandle(ready_);
  ready_ = nullptr;
}

bool HookThreadCore::Quit() {
  // The hook procedures pass events on untouched from here on.
  HookThreadCore* self = this;
  g_hooks.compare_exchange_strong(self, nullptr);
  if (!thread_) return true;
  PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
  const bool ended = WaitForSingleObject(thread_, 5000) == WAIT_OBJECT_0;
  CloseHandle(thread_);
  thread_ = nullptr;
  return ended;
}

bool HookThreadCore::Serve(UINT what, WPARAM arg) {
  const HINSTANCE inst = GetModuleHandleW(nullptr);
  switch (what) {
    case kInstallMouse:
      if (!mouse_) mouse_ = SetWindowsHookExW(WH_MOUSE_LL, &HookThreadCore::MouseProc, inst, 0);
      return mouse_ != nullptr;
    case kUninstallMouse:
      if (mouse_) UnhookWindowsHookEx(mouse_);
      mouse_ = nullptr;
      return true;
    case kInstallKey:
      if (!key_) {
        key_ = SetWindowsHookExW(WH_KEYBOARD_LL, &HookThreadCore::KeyProc, inst, 0);
        modifiers_.Sync(&SystemKeyDown, nullptr);
      }
      return key_ != nullptr;
    case kUninstallKey:
      if (key_) UnhookWindowsHookEx(key_);
      key_ = nullptr;
      return true;
    case kReinstallKey: {
      // The new hook first, so that no key goes unseen; then the old one
      // out. If it was gone already, the system had removed it.
      if (!key_) return false;
      HHOOK fresh = SetWindowsHookExW(WH_KEYBOARD_LL, &HookThreadCore::KeyProc, inst, 0);
      if (!fresh) return false;
      const bool wasGone = !UnhookWindowsHookEx(key_);
      key_ = fresh;
      // Keys may have gone down or up while no hook saw them.
      if (wasGone) modifiers_.Sync(&SystemKeyDown, nullptr);
      return wasGone;
    }
    case kDropKeyForTest:
      return key_ && UnhookWindowsHookEx(key_);
    case kInstallRaw: {
      if (raw_) return true;
      WNDCLASSW wc{};
      wc.lpfnWndProc = &HookThreadCore::RawWindowProc;
      wc.hInstance = inst;
      wc.lpszClassName = kRawWindowClass;
      RegisterClassW(&wc);  // fails harmlessly when registered already
      raw_ = CreateWindowExW(0, kRawWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, inst, nullptr);
      if (!raw_) return false;
      RAWINPUTDEVICE device{};
      device.usUsagePage = 0x01;  // generic desktop
      device.usUsage = 0x02;      // mouse
      device.dwFlags = RIDEV_INPUTSINK;
      device.hwndTarget = raw_;
      if (!RegisterRawInputDevices(&device, 1, sizeof device)) {
        DestroyWindow(raw_);
        raw_ = nullptr;
        return false;
      }
      rawMotion_.Reset();
      return true;
    }
    case kUninstallRaw:
      if (raw_) {
        RAWINPUTDEVICE device{};
        device.usUsagePage = 0x01;
        device.usUsage = 0x02;
        device.dwFlags = RIDEV_REMOVE;
        RegisterRawInputDevices(&device, 1, sizeof device);
        DestroyWindow(raw_);
        raw_ = nullptr;
      }
      return true;
    case kStallForTest:
      Sleep(static_cast<DWORD>(arg));
      return true;
    default:
      return false;
  }
}

DWORD WINAPI HookThreadCore::ThreadMain(LPVOID p) noexcept {
  auto* self = static_cast<HookThreadCore*>(p);
  MSG msg;
  PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);  // makes the queue
  SetEvent(self->ready_);
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.hwnd) {
      DispatchMessageW(&msg);
      continue;
    }
    if (msg.message < kInstallMouse || msg.message > kStallForTest) continue;
    const bool result = self->Serve(msg.message, msg.wParam);
    if (msg.message != kStallForTest) self->requests_.Answer(static_cast<uint32_t>(msg.wParam), result);
  }
  if (self->mouse_) UnhookWindowsHookEx(self->mouse_);
  if (self->key_) UnhookWindowsHookEx(self->key_);
  self->mouse_ = self->key_ = nullptr;
  self->Serve(kUninstallRaw, 0);
  return 0;
}

LRESULT CALLBACK HookThreadCore::RawWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
  HookThreadCore* self = g_hooks.load();
  if (msg == WM_INPUT && self) self->OnRawInput(reinterpret_cast<HRAWINPUT>(lParam));
  return DefWindowProcW(hwnd, msg, wParam, lParam);  // for WM_INPUT: lets the system clean up
}

void HookThreadCore::OnRawInput(HRAWINPUT input) noexcept {
  RAWINPUT raw;
  UINT size = sizeof raw;
  if (GetRawInputData(input, RID_INPUT, &raw, &size, sizeof(RAWINPUTHEADER)) == static_cast<UINT>(-1)) return;
  if (raw.header.dwType != RIM_TYPEMOUSE) return;
  const RAWMOUSE& m = raw.data.mouse;
  RawMouseReport report;
  report.absolute = (m.usFlags & MOUSE_MOVE_ABSOLUTE) != 0;
  report.virtualDesktop = (m.usFlags & MOUSE_VIRTUAL_DESKTOP) != 0;
  report.x = m.lLastX;
  report.y = m.lLastY;
  // The screens' areas only matter to devices that report positions.
  PixelArea primary{}, all{};
  if (report.absolute) {
    primary = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    all = {GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
           GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN)};
  }
  int32_t dx = 0, dy = 0;
  if (!rawMotion_.Take(report, primary, all, dx, dy)) return;
  MouseHookEvent e;
  e.message = kRawMotionMessage;
  e.x = dx;
  e.y = dy;
  e.time = GetMessageTime();
  e.tick = GetTickCount();
  Push(e);
}

bool HookThreadCore::Request(UINT what) {
  if (!thread_) return false;
  // Numbered: an answer that comes after this wait gave up is not taken for
  // the next request's.
  const uint32_t number = requests_.Begin();
  if (!PostThreadMessageW(threadId_, what, number, 0)) return false;
  // The hook thread never waits on this one, so this wait is short.
  return requests_.Wait(number, requestTimeoutMs_).value_or(false);
}

bool HookThreadCore::InstallMouseHook() { return Request(kInstallMouse); }
void HookThreadCore::UninstallMouseHook() { Request(kUninstallMouse); }
bool HookThreadCore::InstallKeyboardHook() {
  const bool ok = Request(kInstallKey);
  if (ok) watchdog_.Installed(GetTickCount());
  return ok;
}
void HookThreadCore::UninstallKeyboardHook() { Request(kUninstallKey); }
bool HookThreadCore::InstallRawMotion() { return Request(kInstallRaw); }
void HookThreadCore::UninstallRawMotion() { Request(kUninstallRaw); }

bool HookThreadCore::CheckKeyboardHook() {
  LASTINPUTINFO last{};
  last.cbSize = sizeof last;
  if (!GetLastInputInfo(&last)) return false;
  const DWORD now = GetTickCount();
  if (!watchdog_.Check(now, last.dwTime, lastKeyEventTick_.load(std::memory_order_relaxed))) return false;
  const bool wasGone = Request(kReinstallKey);
  watchdog_.Installed(GetTickCount());
  return wasGone;
}

bool HookThreadCore::DropKeyboardHookForTest() { return Request(kDropKeyForTest); }

void HookThreadCore::StallForTest(DWORD ms) { PostThreadMessageW(threadId_, kStallForTest, ms, 0); }

void HookThreadCore::Push(const HookEvent& e) noexcept {
  // A failed post is asked for again at the next event; the interface
  // thread's timer also takes whatever waits.
  if (queue_.Push(e) && !PostMessageW(window_, message_, 0, 0)) queue_.WakeFailed();
}

void HookThreadCore::MeasureProcedureTimes(bool on) {
  std::lock_guard<std::mutex> lock(timesMutex_);
  times_.clear();
  times_.reserve(100000);
  measure_ = on;
}

std::vector<double> HookThreadCore::ProcedureTimes() {
  std::lock_guard<std::mutex> lock(timesMutex_);
  return times_;
}

void HookThreadCore::TakeEvents(std::vector<HookEvent>& out) { queue_.Take(out); }

LRESULT CALLBACK HookThreadCore::MouseProc(int code, WPARAM wParam, LPARAM lParam) noexcept {
  HookThreadCore* self = g_hooks.load();
  if (self && code == HC_ACTION) {
    const bool measure = self->measure_.load(std::memory_order_relaxed);
    const double t0 = measure ? QpcMicros() : 0.0;
    const auto* m = reinterpret_cast<const MSLLHOOKSTRUCT*>(lParam);
    MouseHookEvent e;
    e.code = code;
    e.message = static_cast<uint32_t>(wParam);
    e.x = m->pt.x;
    e.y = m->pt.y;
    e.mouseData = m->mouseData;
    e.flags = m->flags;
    e.time = m->time;
    e.extraInfo = static_cast<uint32_t>(m->dwExtraInfo);
    e.tick = GetTickCount();
    self->Push(e);
    if (measure) {
      std::lock_guard<std::mutex> lock(self->timesMutex_);
      if (self->times_.size() < self->times_.capacity()) self->times_.push_back(QpcMicros() - t0);
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK HookThreadCore::KeyProc(int code, WPARAM wParam, LPARAM lParam) noexcept {
  HookThreadCore* self = g_hooks.load();
  if (!self || code != HC_ACTION) return CallNextHookEx(nullptr, code, wParam, lParam);
  const bool measure = self->measure_.load(std::memory_order_relaxed);
  const double t0 = measure ? QpcMicros() : 0.0;
  const auto* k = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
  KeyHookEvent e;
  e.code = code;
  e.message = static_cast<uint32_t>(wParam);
  e.vk = k->vkCode;
  e.scanCode = k->scanCode;
  e.flags = k->flags;
  e.time = k->time;
  e.extraInfo = static_cast<uint32_t>(k->dwExtraInfo);
  e.tick = GetTickCount();
  self->lastKeyEventTick_.store(e.tick, std::memory_order_relaxed);
  // While a new hook replaces the old, the event we pass on may come back to
  // us through the old one: it is taken once.
  if (self->passing_ && SameKeyEvent(e, *self->passing_)) return CallNextHookEx(nullptr, code, wParam, lParam);
  self->modifiers_.Apply(e);
  self->Push(e);
  if (measure) {
    std::lock_guard<std::mutex> lock(self->timesMutex_);
    if (self->times_.size() < self->times_.capacity()) self->times_.push_back(QpcMicros() - t0);
  }
  const KeyHookEvent* outer = self->passing_;
  self->passing_ = &e;
  const LRESULT r = CallNextHookEx(nullptr, code, wParam, lParam);
  self->passing_ = outer;
  return r;
}

HookThread::HookThread(HWND window, UINT message) : core_(new HookThreadCore(window, message)) {}

HookThread::~HookThread() {
  // A hook thread that does not end in time (held up inside a hook procedure
  // or by the system) may still touch its core: the core is then left alive
  // on purpose, a small leak until the process ends, rather than freed under
  // the thread.
  if (core_->Quit()) delete core_;
}

bool HookThread::InstallMouseHook() { return core_->InstallMouseHook(); }
void HookThread::UninstallMouseHook() { core_->UninstallMouseHook(); }
bool HookThread::InstallKeyboardHook() { return core_->InstallKeyboardHook(); }
void HookThread::UninstallKeyboardHook() { core_->UninstallKeyboardHook(); }
bool HookThread::CheckKeyboardHook() { return core_->CheckKeyboardHook(); }
bool HookThread::InstallRawMotion() { return core_->InstallRawMotion(); }
void HookThread::UninstallRawMotion() { core_->UninstallRawMotion(); }
void HookThread::TakeEvents(std::vector<HookEvent>& out) { core_->TakeEvents(out); }
uint64_t HookThread::DroppedEvents() const { return core_->DroppedEvents(); }
void HookThread::MeasureProcedureTimes(bool on) { core_->MeasureProcedureTimes(on); }
std::vector<double> HookThread::ProcedureTimes() { return core_->ProcedureTimes(); }
void HookThread::SetWatchdogTiming(HookWatchdog::Timing timing) { core_->SetWatchdogTiming(timing); }
bool HookThread::DropKeyboardHookForTest() { return core_->DropKeyboardHookForTest(); }
void HookThread::StallForTest(DWORD ms) { core_->StallForTest(ms); }
void HookThread::SetRequestTimeoutForTest(DWORD ms) { core_->SetRequestTimeoutForTest(ms); }

}  // namespace tesmuro::win
