#include <windows.h>

#include "play/shutdown_win.h"

namespace tesmuro::play {

namespace {

class WinShutdownRequester final : public IShutdownRequester {
 public:
  bool OpenProcessToken(uint32_t access, Token& token) override {
    HANDLE h = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), access, &h)) return false;
    token = h;
    return true;
  }
  bool LookupPrivilegeValue(const char* name, Luid& luid) override {
    LUID l{};
    const bool ok = ::LookupPrivilegeValueA(nullptr, name, &l) != FALSE;
    luid.low = l.LowPart;
    luid.high = l.HighPart;
    return ok;
  }
  bool AdjustTokenPrivileges(Token token, const Luid& luid, uint32_t attributes) override {
    TOKEN_PRIVILEGES tp{};
    tp.PrivilegeCount = 1;
    tp.Privileges[0].Luid.LowPart = luid.low;
    tp.Privileges[0].Luid.HighPart = luid.high;
    tp.Privileges[0].Attributes = attributes;
    return ::AdjustTokenPrivileges(static_cast<HANDLE>(token), FALSE, &tp, 0, nullptr, nullptr) != FALSE;
  }
  uint32_t LastError() override { return ::GetLastError(); }
  bool ExitWindowsEx(uint32_t flags, uint32_t reason) override {
    return ::ExitWindowsEx(flags, reason) != FALSE;
  }
  void CloseToken(Token token) override { ::CloseHandle(static_cast<HANDLE>(token)); }
};

}  // namespace

std::unique_ptr<IShutdownRequester> NewWinShutdownRequester() { return std::make_unique<WinShutdownRequester>(); }

}  // namespace tesmuro::play
