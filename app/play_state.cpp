#include "app/play_state.h"

#include <algorithm>

#include "util/text.h"

namespace tesmuro {
namespace {

std::string Clock(int64_t seconds) {
  seconds = std::max<int64_t>(seconds, 0);
  const int64_t h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
  auto two = [](int64_t v) { return (v < 10 ? "0" : "") + std::to_string(v); };
  return std::to_string(h) + ":" + two(m) + ":" + two(s);
}

}  // namespace

std::string PlayStateText(const PlayStatus& s) {
  if (s.playing) {
    std::string t = s.paused ? "暂停 " : "播放 ";
    const int64_t pass = s.passesDone + 1;  // the pass in progress
    switch (s.mode) {
      case 1: t += "第" + std::to_string(pass) + "遍"; break;
      case 2: t += "剩 " + Clock(s.secondsLeft); break;
      default: {
        const int64_t total = std::max<int32_t>(s.passCount, 1);
        t += std::to_string(std::min(pass, total)) + "/" + std::to_string(total);
      }
    }
    return t;
  }
  if (s.recording) return "录制中";
  return "就绪";
}

}  // namespace tesmuro
