#include "app/recovery.h"

namespace tesmuro {

void RecoveryJournal::Begin(std::string_view text, uint32_t now) {
  if (!store_) return;
  pending_.clear();
  std::string start(text);
  if (!start.empty() && start.back() != '\n' && start.back() != '\r') start += "\r\n";
  active_ = store_->Start(start);
  lastFlush_ = now;
}

void RecoveryJournal::AddLine(std::string_view gbk, uint32_t now) {
  if (!active_) return;
  pending_.append(gbk);
  pending_ += "\r\n";
  if (pending_.size() >= kFlushBytes) Flush(now);
}

void RecoveryJournal::FlushIfDue(uint32_t now) {
  if (active_ && !pending_.empty() && now - lastFlush_ >= kFlushIntervalMs) Flush(now);
}

void RecoveryJournal::Flush(uint32_t now) {
  lastFlush_ = now;
  if (!active_ || pending_.empty()) return;
  // Lines that could not be written stay pending for the next try, up to a
  // bound; past it the journal gives up rather than hold the memory.
  if (store_->Append(pending_)) {
    pending_.clear();
  } else if (pending_.size() > kMaxPendingBytes) {
    pending_.clear();
    active_ = false;
  }
}

void RecoveryJournal::Discard() {
  pending_.clear();
  if (active_ && store_) store_->Remove();
  active_ = false;
}

std::optional<std::string> RecoveryJournal::TakeLeftOver() {
  if (!store_) return std::nullopt;
  return store_->TakeLeftOver();
}

}  // namespace tesmuro
