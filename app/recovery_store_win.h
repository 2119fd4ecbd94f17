// The recovery journal's files on Windows: one file per running program in
// "<local application data>\Tesmuro\Recovery". The running program keeps its
// file open without delete sharing, so another program can tell a file whose
// owner is still running from one that was left behind.
#pragma once

#include <windows.h>

#include <string>

#include "app/recovery.h"

namespace tesmuro::win {

class RecoveryStoreWin : public IRecoveryStore {
 public:
  // `folder` (UTF-16, no trailing separator); empty: the user's local
  // application data folder.
  explicit RecoveryStoreWin(std::wstring folder = {});
  ~RecoveryStoreWin() override;
  RecoveryStoreWin(const RecoveryStoreWin&) = delete;
  RecoveryStoreWin& operator=(const RecoveryStoreWin&) = delete;

  std::optional<std::string> TakeLeftOver() override;
  bool Start(std::string_view bytes) override;
  bool Append(std::string_view bytes) override;
  void Remove() override;

  const std::wstring& Folder() const { return folder_; }

 private:
  bool Write(std::string_view bytes);
  std::wstring folder_;
  std::wstring path_;
  HANDLE file_ = INVALID_HANDLE_VALUE;
};

}  // namespace tesmuro::win
