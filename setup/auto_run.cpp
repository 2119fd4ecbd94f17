#include "setup/auto_run.h"

#include "ui/message_box.h"
#include "setup/setup_dialog.h"

namespace tesmuro::setup {
namespace {

using Key = IRegistry::Key;
using Access = IRegistry::Access;

// The Run key of one hive, closed when it goes out of scope.
class RunKey {
 public:
  RunKey(IRegistry& r, Key hive, Access access) : r_(r) { open_ = r_.OpenKey(hive, kRunKeyPath, access, key_); }
  ~RunKey() {
    if (open_) r_.CloseKey(key_);
  }
  RunKey(const RunKey&) = delete;
  RunKey& operator=(const RunKey&) = delete;
  explicit operator bool() const { return open_; }
  Key Get() const { return key_; }

 private:
  IRegistry& r_;
  Key key_ = 0;
  bool open_ = false;
};

bool WriteValue(IRegistry& r, Key hive, const std::string& data) {
  RunKey run(r, hive, Access::Write);
  return run && r.SetString(run.Get(), kAutoRunValue, data);
}

// Deletes the value from one hive's Run key. True when no value that starts
// a program is left there: deleted, never there, or one with empty data (as
// earlier versions left for a cleared box), which starts nothing.
bool RemoveValue(IRegistry& r, Key hive) {
  {
    RunKey run(r, hive, Access::Write);
    if (run && r.DeleteValue(run.Get(), kAutoRunValue)) return true;
  }
  RunKey run(r, hive, Access::Read);
  if (!run) return true;  // no Run key, so no value
  const std::optional<std::string> data = r.ReadString(run.Get(), kAutoRunValue);
  return !data || data->empty();
}

}  // namespace

std::string AutoRunCommand(const std::string& exePath) { return "\"" + exePath + "\""; }

bool UpdateAutoRun(IRegistry& registry, bool autoRun, const std::string& exePath, const ShowMessageFn& showMessage) {
  if (!autoRun) {
    const bool machineClear = RemoveValue(registry, IRegistry::kLocalMachine);
    const bool userClear = RemoveValue(registry, IRegistry::kCurrentUser);
    if (!machineClear || !userClear) showMessage(kAutoRunNotRemoved, text::kNotice, kMbOk | kMbIconError);
    return false;
  }
  if (exePath.empty()) {
    showMessage(kAutoRunNoProgramPath, text::kNotice, kMbOk | kMbIconError);
    return false;
  }
  const std::string command = AutoRunCommand(exePath);
  if (WriteValue(registry, IRegistry::kLocalMachine, command)) {
    // An entry of the user's own, from a confirmation without the rights for
    // the machine's key, would start the program a second time.
    RemoveValue(registry, IRegistry::kCurrentUser);
    return true;
  }
  if (WriteValue(registry, IRegistry::kCurrentUser, command)) {
    showMessage(kAutoRunForCurrentUser, text::kNotice, kMbOk | kMbIconInformation);
    return true;
  }
  showMessage(kAutoRunNotWritten, text::kNotice, kMbOk | kMbIconError);
  return false;
}

bool ConfirmSetup(int& modalResult, IRegistry& registry, bool autoRun, const std::string& exePath,
                  const ShowMessageFn& showMessage) {
  modalResult = kResultConfirm;
  return UpdateAutoRun(registry, autoRun, exePath, showMessage);
}

}  // namespace tesmuro::setup
