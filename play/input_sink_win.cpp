#include <windows.h>

#include <memory>
#include <optional>
#include <utility>

#include "os/desktop.h"
#include "os/pc_keyboard.h"
#include "play/input_sink.h"
#include "play/input_sink_win.h"
#include "play/integrity.h"

namespace tesmuro::play {

namespace {

#ifndef MAPVK_VK_TO_VSC_EX
#define MAPVK_VK_TO_VSC_EX 4
#endif
#ifndef MOUSEEVENTF_HWHEEL
#define MOUSEEVENTF_HWHEEL 0x1000
#endif

// The mandatory integrity level of a process token, when it can be read.
std::optional<uint32_t> TokenIntegrity(HANDLE token) {
  DWORD size = 0;
  GetTokenInformation(token, TokenIntegrityLevel, nullptr, 0, &size);
  if (size == 0 || size > 1024) return std::nullopt;
  alignas(TOKEN_MANDATORY_LABEL) BYTE buffer[1024];
  if (!GetTokenInformation(token, TokenIntegrityLevel, buffer, size, &size)) return std::nullopt;
  PSID sid = reinterpret_cast<TOKEN_MANDATORY_LABEL*>(buffer)->Label.Sid;
  if (!sid || !IsValidSid(sid)) return std::nullopt;
  const UCHAR count = *GetSidSubAuthorityCount(sid);
  if (count == 0) return std::nullopt;
  return static_cast<uint32_t>(*GetSidSubAuthority(sid, count - 1));
}

std::optional<uint32_t> OwnIntegrity() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return std::nullopt;
  auto level = TokenIntegrity(token);
  CloseHandle(token);
  return level;
}

TargetIntegrity WindowIntegrity(HWND window) {
  TargetIntegrity t;
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid == 0 || pid == GetCurrentProcessId()) return t;
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (!process) {
    t.accessDenied = GetLastError() == ERROR_ACCESS_DENIED;
    return t;
  }
  HANDLE token = nullptr;
  if (OpenProcessToken(process, TOKEN_QUERY, &token)) {
    t.level = TokenIntegrity(token);
    CloseHandle(token);
  } else {
    t.accessDenied = GetLastError() == ERROR_ACCESS_DENIED;
  }
  CloseHandle(process);
  return t;
}

// Reads whatever waits in the calling thread's message queue. Under Wine,
// setting the pointer's position (SetCursorPos, or injected mouse input that
// moves it) leaves an X motion event for the thread that did it, taken off
// only when that thread reads its messages. The player's thread has no window
// and no message loop of its own, so its queue would grow with every move,
// and with a low-level keyboard hook installed every key it injects would
// wait longer behind it. The sink therefore reads the queue after every mouse
// event it injects. One read costs a round trip to the Wine server (some
// 25 us, against about 1 ms for a SetCursorPos there) and next to nothing on
// Windows; injected keys leave nothing behind and are not followed by one.
void EmptyOwnQueue() {
  MSG m;
  while (::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&m);
}

class WinInputSink final : public IInputSink {
 public:
  explicit WinInputSink(std::shared_ptr<IDesktop> desktop) : desktop_(std::move(desktop)) {}

  void MoveTo(int32_t x, int32_t y) override {
    ::SetCursorPos(x, y);
    EmptyOwnQueue();
  }

  void MoveBy(int32_t dx, int32_t dy) override {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = dx;
    input.mi.dy = dy;
    input.mi.dwFlags = MOUSEEVENTF_MOVE;
    ::SendInput(1, &input, sizeof(INPUT));
    EmptyOwnQueue();
  }

  void Button(MouseButton button, bool down, std::optional<PointerPlace> at) override {
    DWORD flags = 0, data = 0;
    switch (button) {
      case MouseButton::Left: flags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP; break;
      case MouseButton::Right: flags = down ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_RIGHTUP; break;
      case MouseButton::Middle: flags = down ? MOUSEEVENTF_MIDDLEDOWN : MOUSEEVENTF_MIDDLEUP; break;
      case MouseButton::X1:
      case MouseButton::X2:
        flags = down ? MOUSEEVENTF_XDOWN : MOUSEEVENTF_XUP;
        data = button == MouseButton::X1 ? XBUTTON1 : XBUTTON2;
        break;
    }
    SendMouse(flags, data, 0, 0, at);
  }

  void Wheel(WheelAxis axis, int32_t turn, int32_t a, int32_t b, std::optional<PointerPlace> at) override {
    SendMouse(axis == WheelAxis::Vertical ? MOUSEEVENTF_WHEEL : MOUSEEVENTF_HWHEEL, static_cast<DWORD>(turn), a, b,
              at);
  }

  void Key(const KeyStroke& k) override {
    WORD scan = k.scan;
    bool extended = k.extended;
    if (scan == 0) {
      // A line typed by hand: the layout's scan code for the key, as the hook
      // would have recorded it.
      const os::ScanCode sc = os::ScanCodeFromLayout(::MapVirtualKeyW(k.vk, MAPVK_VK_TO_VSC_EX));
      scan = sc.scan;
      extended = extended || sc.extended;
    }
    DWORD flags = (extended ? KEYEVENTF_EXTENDEDKEY : 0) | (k.up ? KEYEVENTF_KEYUP : 0);
    if (!k.scanOnly) {
      ::keybd_event(k.vk, static_cast<BYTE>(scan), flags, os::kPlayerInputTag);
      return;
    }
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = 0;
    input.ki.wScan = scan;
    input.ki.dwFlags = flags | KEYEVENTF_SCANCODE;
    input.ki.dwExtraInfo = os::kPlayerInputTag;
    ::SendInput(1, &input, sizeof(INPUT));
  }

  void TypeCharacter(char32_t cp) override {
    INPUT records[4];
    const int n = UnicodeRecords(cp, records);
    ::SendInput(static_cast<UINT>(n), records, sizeof(INPUT));
  }

  void ControllerMove(uint16_t x, uint16_t y, ControllerDelivery how) override {
    if (how.broadcast)
      ::PostMessageA(HWND_BROADCAST, kMsgJoy1Move, 0, static_cast<LPARAM>(static_cast<int32_t>((uint32_t{y} << 16) | x)));
    if (how.hardwareInput) Hardware(kMsgJoy1Move, x, y);
  }

  void ControllerButtons(uint32_t buttons, ControllerDelivery how) override {
    if (how.broadcast) ::PostMessageA(HWND_BROADCAST, kMsgJoy1ButtonDown, static_cast<WPARAM>(buttons), 0);
    if (how.hardwareInput) Hardware(kMsgJoy1ButtonDown, static_cast<uint16_t>(buttons), 0);
  }

  ScreenRect Screen() override {
    ScreenRect r;
    r.left = ::GetSystemMetrics(SM_XVIRTUALSCREEN);
    r.top = ::GetSystemMetrics(SM_YVIRTUALSCREEN);
    r.width = ::GetSystemMetrics(SM_CXVIRTUALSCREEN);
    r.height = ::GetSystemMetrics(SM_CYVIRTUALSCREEN);
    if (HDC dc = ::GetDC(nullptr)) {
      r.dpi = ::GetDeviceCaps(dc, LOGPIXELSX);
      ::ReleaseDC(nullptr, dc);
    }
    return r;
  }

  uint64_t ForegroundWindow() override { return reinterpret_cast<uintptr_t>(::GetForegroundWindow()); }

  bool ForegroundRefusesInput(uint64_t window) override {
    HWND w = reinterpret_cast<HWND>(static_cast<uintptr_t>(window));
    if (!w) return false;
    static const std::optional<uint32_t> own = OwnIntegrity();
    return InputRefusedByTarget(own, WindowIntegrity(w));
  }

  IDesktop* Desktop() override { return desktop_.get(); }

 private:
  std::shared_ptr<IDesktop> desktop_;

  static void SendMouse(DWORD flags, DWORD data, int32_t dx, int32_t dy, std::optional<PointerPlace> at) {
    ScreenRect screen;
    if (at) {
      screen.left = ::GetSystemMetrics(SM_XVIRTUALSCREEN);
      screen.top = ::GetSystemMetrics(SM_YVIRTUALSCREEN);
      screen.width = ::GetSystemMetrics(SM_CXVIRTUALSCREEN);
      screen.height = ::GetSystemMetrics(SM_CYVIRTUALSCREEN);
    }
    INPUT input = MouseRecord(flags, data, dx, dy, at, screen);
    ::SendInput(1, &input, sizeof(INPUT));
    EmptyOwnQueue();
  }

  static void Hardware(uint32_t msg, uint16_t low, uint16_t high) {
    INPUT input{};
    input.type = INPUT_HARDWARE;
    input.hi.uMsg = msg;
    input.hi.wParamL = low;
    input.hi.wParamH = high;
    ::SendInput(1, &input, sizeof(INPUT));
  }
};

}  // namespace

INPUT MouseRecord(DWORD flags, DWORD data, int32_t dx, int32_t dy, std::optional<PointerPlace> at,
                  const ScreenRect& virtualScreen) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dx = dx;
  input.mi.dy = dy;
  if (at) {
    input.mi.dx = NormalisedCoordinate(at->x, virtualScreen.left, virtualScreen.width);
    input.mi.dy = NormalisedCoordinate(at->y, virtualScreen.top, virtualScreen.height);
    flags |= MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK;
  }
  input.mi.mouseData = data;
  input.mi.dwFlags = flags;
  input.mi.dwExtraInfo = os::kPlayerInputTag;
  return input;
}

int UnicodeRecords(char32_t cp, INPUT out[4]) {
  WORD units[2];
  int count = 1;
  if (cp >= 0x10000 && cp <= 0x10FFFF) {
    units[0] = static_cast<WORD>(0xD800 + ((cp - 0x10000) >> 10));
    units[1] = static_cast<WORD>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    count = 2;
  } else {
    units[0] = static_cast<WORD>(cp);
  }
  int n = 0;
  for (int i = 0; i < count; ++i) {
    for (bool up : {false, true}) {
      INPUT& r = out[n++];
      r = INPUT{};
      r.type = INPUT_KEYBOARD;
      r.ki.wVk = 0;
      r.ki.wScan = units[i];
      r.ki.dwFlags = KEYEVENTF_UNICODE | (up ? KEYEVENTF_KEYUP : 0);
      r.ki.dwExtraInfo = os::kPlayerInputTag;
    }
  }
  return n;
}

std::unique_ptr<IInputSink> NewWinInputSink(std::shared_ptr<IDesktop> desktop) {
  return std::make_unique<WinInputSink>(std::move(desktop));
}

}  // namespace tesmuro::play
