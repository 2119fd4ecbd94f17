#include "record/hook_thread_win.h"

namespace tesmuro::win {
namespace {

HookThread* g_hooks = nullptr;  // the hook procedures are plain functions

enum : UINT {
  kInstallMouse = WM_APP + 1,
  kUninstallMouse,
  kInstallKey,
  kUninstallKey,
};

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

uint16_t ModifiersHeld() noexcept {
  uint16_t m = 0;
  if (GetAsyncKeyState(VK_SHIFT) < 0) m |= 0x2000;
  if (GetAsyncKeyState(VK_CONTROL) < 0) m |= 0x4000;
  if (GetAsyncKeyState(VK_MENU) < 0) m |= 0x8000;
  return m;
}

}  // namespace

HookThread::HookThread(HWND window, UINT message) : window_(window), message_(message) {
  g_hooks = this;
  ready_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  done_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  thread_ = CreateThread(nullptr, 0, &HookThread::ThreadMain, this, 0, &threadId_);
  if (thread_) {
    // Input must never wait for us: the hook thread outranks the others.
    SetThreadPriority(thread_, THREAD_PRIORITY_TIME_CRITICAL);
    WaitForSingleObject(ready_, INFINITE);
  }
}

HookThread::~HookThread() {
  if (thread_) {
    PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
    WaitForSingleObject(thread_, 5000);
    CloseHandle(thread_);
  }
  if (ready_) CloseHandle(ready_);
  if (done_) CloseHandle(done_);
  g_hooks = nullptr;
}

DWORD WINAPI HookThread::ThreadMain(LPVOID p) noexcept {
  auto* self = static_cast<HookThread*>(p);
  MSG msg;
  PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);  // makes the queue
  SetEvent(self->ready_);
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.hwnd) {
      DispatchMessageW(&msg);
      continue;
    }
    const HINSTANCE inst = GetModuleHandleW(nullptr);
    switch (msg.message) {
      case kInstallMouse:
        if (!self->mouse_) self->mouse_ = SetWindowsHookExW(WH_MOUSE_LL, &HookThread::MouseProc, inst, 0);
        self->result_ = self->mouse_ != nullptr;
        SetEvent(self->done_);
        break;
      case kUninstallMouse:
        if (self->mouse_) UnhookWindowsHookEx(self->mouse_);
        self->mouse_ = nullptr;
        self->result_ = true;
        SetEvent(self->done_);
        break;
      case kInstallKey:
        if (!self->key_) self->key_ = SetWindowsHookExW(WH_KEYBOARD_LL, &HookThread::KeyProc, inst, 0);
        self->result_ = self->key_ != nullptr;
        SetEvent(self->done_);
        break;
      case kUninstallKey:
        if (self->key_) UnhookWindowsHookEx(self->key_);
        self->key_ = nullptr;
        self->result_ = true;
        SetEvent(self->done_);
        break;
      default:
        break;
    }
  }
  if (self->mouse_) UnhookWindowsHookEx(self->mouse_);
  if (self->key_) UnhookWindowsHookEx(self->key_);
  self->mouse_ = self->key_ = nullptr;
  return 0;
}

bool HookThread::Request(UINT what) {
  if (!thread_) return false;
  if (!PostThreadMessageW(threadId_, what, 0, 0)) return false;
  // The hook thread never waits on this one, so this wait is short.
  if (WaitForSingleObject(done_, 5000) != WAIT_OBJECT_0) return false;
  return result_;
}

bool HookThread::InstallMouseHook() { return Request(kInstallMouse); }
void HookThread::UninstallMouseHook() { Request(kUninstallMouse); }
bool HookThread::InstallKeyboardHook() { return Request(kInstallKey); }
void HookThread::UninstallKeyboardHook() { Request(kUninstallKey); }

void HookThread::Push(const HookEvent& e) noexcept {
  bool wake = false;
  try {
    std::lock_guard<std::mutex> lock(mutex_);
    wake = queue_.empty();
    queue_.push_back(e);
  } catch (...) {
    return;  // out of memory: the event is dropped rather than input stalled
  }
  if (wake) PostMessageW(window_, message_, 0, 0);
}

void HookThread::MeasureProcedureTimes(bool on) {
  std::lock_guard<std::mutex> lock(mutex_);
  times_.clear();
  times_.reserve(100000);
  measure_ = on;
}

std::vector<double> HookThread::ProcedureTimes() {
  std::lock_guard<std::mutex> lock(mutex_);
  return times_;
}

void HookThread::TakeEvents(std::vector<HookEvent>& out) {
  out.clear();
  std::lock_guard<std::mutex> lock(mutex_);
  out.swap(queue_);
}

LRESULT CALLBACK HookThread::MouseProc(int code, WPARAM wParam, LPARAM lParam) noexcept {
  HookThread* self = g_hooks;
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
      std::lock_guard<std::mutex> lock(self->mutex_);
      if (self->times_.size() < self->times_.capacity()) self->times_.push_back(QpcMicros() - t0);
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK HookThread::KeyProc(int code, WPARAM wParam, LPARAM lParam) noexcept {
  HookThread* self = g_hooks;
  if (self && code == HC_ACTION) {
    const auto* k = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
    KeyHookEvent e;
    e.code = code;
    e.message = static_cast<uint32_t>(wParam);
    e.vk = k->vkCode;
    e.scanCode = k->scanCode;
    e.flags = k->flags;
    e.time = k->time;
    e.extraInfo = static_cast<uint32_t>(k->dwExtraInfo);
    e.modifiers = ModifiersHeld();
    e.tick = GetTickCount();
    self->Push(e);
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace tesmuro::win
