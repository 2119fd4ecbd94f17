// The recovery journal: while recording, the script text and every line the
// recorders add also go to a file outside the program's folder, written
// through to disk in batches, so that a crash or a power cut does not lose
// the recording. The file is removed once the script is saved or the user
// discards it; a file that is still there at the next start holds a script
// that was never saved, and is offered back once.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tesmuro {

// Where the journal's bytes go. The Windows program keeps one file per
// running program under the user's local application data; tests use a fake.
class IRecoveryStore {
 public:
  virtual ~IRecoveryStore() = default;
  // The script a program left behind when it ended without Save or a
  // discard; taking it removes it (it is offered once). Nothing when none.
  virtual std::optional<std::string> TakeLeftOver() = 0;
  // Starts this program's file afresh with `bytes`, on disk when it returns.
  virtual bool Start(std::string_view bytes) = 0;
  // Adds `bytes` to the file, on disk when it returns.
  virtual bool Append(std::string_view bytes) = 0;
  // Removes this program's file.
  virtual void Remove() = 0;
};

class RecoveryJournal {
 public:
  // Lines wait at most this long (milliseconds), or until this many bytes
  // are pending, before they are written through.
  static constexpr uint32_t kFlushIntervalMs = 250;
  static constexpr size_t kFlushBytes = 64 * 1024;
  static constexpr size_t kMaxPendingBytes = 16 * 1024 * 1024;

  // `store` may be null: then the journal keeps nothing.
  explicit RecoveryJournal(IRecoveryStore* store) : store_(store) {}

  // Starts the journal with the script text as it is now (GBK).
  void Begin(std::string_view text, uint32_t now);
  // One more line (GBK, without its line end). Ignored unless begun.
  void AddLine(std::string_view gbk, uint32_t now);
  // Writes the pending lines when they are due.
  void FlushIfDue(uint32_t now);
  // Writes the pending lines now.
  void Flush(uint32_t now);
  // The script is saved or discarded: the journal and its file go.
  void Discard();
  bool Active() const { return active_; }

  std::optional<std::string> TakeLeftOver();

 private:
  IRecoveryStore* store_;
  bool active_ = false;
  std::string pending_;
  uint32_t lastFlush_ = 0;
};

}  // namespace tesmuro
