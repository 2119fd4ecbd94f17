#include "setup/auto_run.h"

#include <stdexcept>

#include "app/main_view.h"
#include "app/texts.h"
#include "setup/setup_dialog.h"

namespace tesmuro::setup {
namespace {

// Closes an opened key when it goes out of scope.
class OpenedKey {
 public:
  explicit OpenedKey(IRegistry& r) : r_(r) {}
  ~OpenedKey() {
    if (open_) r_.CloseKey(key_);
  }
  OpenedKey(const OpenedKey&) = delete;
  OpenedKey& operator=(const OpenedKey&) = delete;
  bool Create(IRegistry::Key parent, std::string_view path) { return open_ = r_.CreateKey(parent, path, key_); }
  bool Open(IRegistry::Key parent, std::string_view path) { return open_ = r_.OpenKey(parent, path, key_); }
  IRegistry::Key Get() const { return key_; }

 private:
  IRegistry& r_;
  IRegistry::Key key_ = 0;
  bool open_ = false;
};

}  // namespace

void UpdateAutoRun(IRegistry& registry, bool autoRun, const std::string& exePath, const ShowMessageFn& showMessage) {
  OpenedKey current(registry);
  if (!current.Create(IRegistry::kLocalMachine, kCurrentVersionKey)) {
    showMessage(std::string(kCannotOpenRegistry) + kCurrentVersionKey, text::kNotice, kMbOk | kMbIconError);
    return;
  }
  {
    OpenedKey created(registry);
    if (!created.Create(current.Get(), kRunKey)) throw std::runtime_error(std::string("Failed to create key ") + kRunKey);
  }
  OpenedKey run(registry);
  if (!run.Open(current.Get(), kRunKey)) return;
  if (!registry.SetString(run.Get(), kAutoRunValue, autoRun ? exePath : std::string()))
    throw std::runtime_error(std::string("Failed to set data for '") + kAutoRunValue + "'");
}

void ConfirmSetup(int& modalResult, IRegistry& registry, bool autoRun, const std::string& exePath,
                  const ShowMessageFn& showMessage) {
  modalResult = kResultConfirm;
  UpdateAutoRun(registry, autoRun, exePath, showMessage);
}

}  // namespace tesmuro::setup
