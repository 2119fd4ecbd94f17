#include "play/shutdown.h"

namespace tesmuro::play {

bool ShutdownSystem(IShutdownRequester& system) {
  IShutdownRequester::Token token = nullptr;
  if (!system.OpenProcessToken(kTokenAdjustPrivilegesAndQuery, token)) return false;

  Luid luid;
  system.LookupPrivilegeValue(kShutdownPrivilegeName, luid);  // result deliberately not tested
  system.AdjustTokenPrivileges(token, luid, kPrivilegeEnabled);
  // AdjustTokenPrivileges succeeds even when it assigned nothing; only the
  // last error tells.
  if (system.LastError() != 0) {
    system.CloseToken(token);
    return false;
  }
  const bool accepted = system.ExitWindowsEx(kExitShutdownForce, kReasonPlannedOperatingSystem);
  system.CloseToken(token);
  return accepted;
}

}  // namespace tesmuro::play
