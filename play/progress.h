// How far a run has come, as the state line shows it.
#pragma once

#include <cstdint>

namespace tesmuro::play {

struct Progress {
  bool playing = false;  // a run that has not finished
  bool paused = false;
  int32_t mode = 0;          // 0 count, 1 until stopped, 2 timed
  int64_t passesDone = 0;    // passes completed
  int32_t passCount = 1;     // passes of the count mode
  int64_t secondsLeft = 0;   // of the timed mode
};

}  // namespace tesmuro::play
