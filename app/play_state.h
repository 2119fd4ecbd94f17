// What the first status-bar panel and the mini window say the program is
// doing: recording, playing (with the pass in progress and the total in the
// count mode, the pass number until stopped, the time left in the timed
// mode), paused, or ready.
#pragma once

#include <cstdint>
#include <string>

namespace tesmuro {

struct PlayStatus {
  bool recording = false;
  bool playing = false;  // a run that has not finished
  bool paused = false;
  int32_t mode = 0;          // 0 count, 1 until stopped, 2 timed
  int64_t passesDone = 0;    // passes completed
  int32_t passCount = 1;     // passes of the count mode
  int64_t secondsLeft = 0;   // of the timed mode
};

// UTF-8; "就绪" when nothing runs.
std::string PlayStateText(const PlayStatus& s);

}  // namespace tesmuro
