#include "play/injection_log.h"

namespace tesmuro::play {

void InjectionLog::NoteKey(uint32_t keycode, bool down, int64_t nowMicros) {
  std::lock_guard<std::mutex> lock(mutex_);
  DropOld(nowMicros);
  if (notes_.size() >= kMaxNotes) notes_.pop_front();
  notes_.push_back({keycode, down, nowMicros});
}

bool InjectionLog::TakeIfOurs(uint32_t keycode, bool down, int64_t nowMicros) {
  std::lock_guard<std::mutex> lock(mutex_);
  DropOld(nowMicros);
  for (auto it = notes_.begin(); it != notes_.end(); ++it) {
    if (it->keycode == keycode && it->down == down) {
      notes_.erase(it);
      return true;
    }
  }
  return false;
}

std::size_t InjectionLog::Pending() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return notes_.size();
}

void InjectionLog::DropOld(int64_t nowMicros) {
  while (!notes_.empty() && nowMicros - notes_.front().at > kMaxAgeMicros) notes_.pop_front();
}

}  // namespace tesmuro::play
