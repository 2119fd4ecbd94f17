// Asking Windows to shut the computer down, forcing applications to close.
//
// The steps go through IShutdownRequester, one method per system call, so the
// sequence can be checked in tests, and no test can shut anything down.
#pragma once

#include <cstdint>

namespace tesmuro::play {

inline constexpr uint32_t kTokenAdjustPrivilegesAndQuery = 0x0028;  // TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY
inline constexpr uint32_t kPrivilegeEnabled = 0x0002;               // SE_PRIVILEGE_ENABLED
inline constexpr uint32_t kExitShutdownForce = 0x0005;              // EWX_SHUTDOWN | EWX_FORCE
inline constexpr uint32_t kReasonPlannedOperatingSystem = 0x80020000u;
inline constexpr char kShutdownPrivilegeName[] = "SeShutdownPrivilege";

// A locally unique identifier (LUID).
struct Luid {
  uint32_t low = 0;
  int32_t high = 0;
};

class IShutdownRequester {
 public:
  using Token = void*;
  virtual ~IShutdownRequester() = default;

  // OpenProcessToken(GetCurrentProcess(), access, &token).
  virtual bool OpenProcessToken(uint32_t access, Token& token) = 0;
  // LookupPrivilegeValueA(nullptr, name, &luid).
  virtual bool LookupPrivilegeValue(const char* name, Luid& luid) = 0;
  // AdjustTokenPrivileges(token, FALSE, {1 entry: luid, attributes}, 0, nullptr, nullptr).
  virtual bool AdjustTokenPrivileges(Token token, const Luid& luid, uint32_t attributes) = 0;
  // GetLastError(), read right after AdjustTokenPrivileges.
  virtual uint32_t LastError() = 0;
  // ExitWindowsEx(flags, reason).
  virtual bool ExitWindowsEx(uint32_t flags, uint32_t reason) = 0;
  // CloseHandle(token).
  virtual void CloseToken(Token token) = 0;
};

// Enables the shutdown privilege in the process's token and requests a forced
// shutdown. True when the request was accepted. The request is asynchronous:
// this returns at once. Returns false without calling ExitWindowsEx when the
// token cannot be opened or the privilege is not granted (for example
// ERROR_NOT_ALL_ASSIGNED, 1300). The token is closed in every case where it
// was opened; the privilege stays enabled.
bool ShutdownSystem(IShutdownRequester& system);

// A requester that never gets a token, so that nothing is shut down: the
// Linux program's, which has no shutdown.
class NoShutdownRequester final : public IShutdownRequester {
 public:
  bool OpenProcessToken(uint32_t, Token&) override { return false; }
  bool LookupPrivilegeValue(const char*, Luid&) override { return false; }
  bool AdjustTokenPrivileges(Token, const Luid&, uint32_t) override { return false; }
  uint32_t LastError() override { return 1; }
  bool ExitWindowsEx(uint32_t, uint32_t) override { return false; }
  void CloseToken(Token) override {}
};

}  // namespace tesmuro::play
