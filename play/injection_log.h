// What the player itself injected lately, so that a listener that sees all
// input on the system (with no way to tell who sent it) can pick out the
// player's own keys and take everything else as the user's.
//
// The sink notes each key it sends; the listener, seeing a key event, asks
// TakeIfOurs(): the oldest matching note younger than kMaxAgeMicros is
// consumed and the event counts as the player's. Notes are matched in order,
// so a user's press of the same key while the player presses it is told apart
// by count. Thread-safe: one sink, one listener.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>

namespace tesmuro::play {

class InjectionLog {
 public:
  static constexpr int64_t kMaxAgeMicros = 2'000'000;
  static constexpr std::size_t kMaxNotes = 4096;

  // A key (X keycode) went down or up at `nowMicros` (any monotonic clock,
  // the same for both calls).
  void NoteKey(uint32_t keycode, bool down, int64_t nowMicros);
  // True when the event is one the player sent (the note is used up).
  bool TakeIfOurs(uint32_t keycode, bool down, int64_t nowMicros);
  std::size_t Pending() const;

 private:
  struct Note {
    uint32_t keycode;
    bool down;
    int64_t at;
  };
  void DropOld(int64_t nowMicros);

  mutable std::mutex mutex_;
  std::deque<Note> notes_;
};

}  // namespace tesmuro::play
