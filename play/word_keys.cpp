// 等待按键 KEY [SECONDS]: the run waits until the user presses KEY, for at
// most SECONDS (0 or none: for as long as it takes).
//
// The platform's keyboard listener reports each key the user presses
// (TRunThread::UserKeyPressed); the player's own keys never reach it. Only
// the presses reported while this wait is open count, so a key pressed
// before the line was reached does not let the run skip the user's step.
#include <limits>
#include <mutex>
#include <vector>

#include "play/word_families.h"
#include "util/shortcut.h"
#include "util/text.h"

namespace tesmuro::play {

using namespace run_detail;
using Looked = Run::Looked;

namespace {

// How often the wait looks, to show the seconds waited: a press wakes the
// run at once.
constexpr int64_t kKeyLookMicros = 250000;

// A press of `pressed` (with the modifiers the user held) is the key the
// line asks for: a key named alone counts whatever modifiers are held with
// it, as the hot keys do; a key named with modifiers needs exactly those.
bool Fits(Shortcut wanted, Shortcut pressed) {
  if (pressed.Key() != wanted.Key()) return false;
  return wanted.Modifiers() == 0 || pressed.Modifiers() == wanted.Modifiers();
}

// The wait's window on the user's presses: open while it exists.
class KeyWait {
 public:
  explicit KeyWait(RunShared& s) : s_(s) {
    std::lock_guard<std::mutex> l(s_.keyLock);
    s_.keysPressed.clear();
    s_.keyWaitOpen = true;
  }
  ~KeyWait() {
    std::lock_guard<std::mutex> l(s_.keyLock);
    s_.keyWaitOpen = false;
    s_.keysPressed.clear();
  }
  KeyWait(const KeyWait&) = delete;
  KeyWait& operator=(const KeyWait&) = delete;

  // The key was pressed since the last look.
  bool Pressed(Shortcut wanted) {
    {
      std::lock_guard<std::mutex> l(s_.keyLock);
      taken_.swap(s_.keysPressed);
    }
    bool found = false;
    for (uint16_t k : taken_) found = found || Fits(wanted, Shortcut(k));
    taken_.clear();
    return found;
  }

 private:
  RunShared& s_;
  std::vector<uint16_t> taken_;
};

}  // namespace

Step PlayWaitKey(Run& run, const script::Action& action) {
  const int64_t at = run.LineStart();
  if (action.badKey) return run.StopOn(StopReason::Kind::BadKeyName, at, GbkToUtf8(action.text[0]));
  if (action.badRange) return run.StopOn(StopReason::Kind::BadKeyWaitSeconds, at);
  const Shortcut wanted(action.key);
  const std::string name = wanted.Name();
  const int32_t limit = action.seconds;
  run.NextWaitIs(WaitProgress::Kind::Key, name, at, limit);
  KeyWait wait(run.shared);
  // Without a limit: the longest wait a line could ask for (68 years).
  const int32_t seconds = limit > 0 ? limit : std::numeric_limits<int32_t>::max();
  const Looked looked = run.Await([&] { return wait.Pressed(wanted); }, seconds, kKeyLookMicros);
  if (looked == Looked::TimedOut) return run.StopOn(StopReason::Kind::KeyTimedOut, at, name, limit);
  return Step::Next();  // pressed, or stopped: the stop is seen before the next word
}

}  // namespace tesmuro::play
