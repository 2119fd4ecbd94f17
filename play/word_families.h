// The word families of the player: each plays the words of one kind on the
// run's context (play/run_context.h) and says whether the run goes on.
//
//   input     moves, buttons, wheels, keys, controller, screen lines, typed
//             text (输入文本), and words the player has no use for
//             (play/word_input.cpp)
//   delays    延迟, 随机延迟 (play/word_delays.cpp)
//   windows   窗口, 等待窗口, 等待颜色 (play/word_windows.cpp)
//   pictures  等待图像, 点击图像 (play/word_pictures.cpp)
//   keys      等待按键 (play/word_keys.cpp)
//
// FamilyOf (play/run_play.cpp) says which family plays a word. Another
// family is a handler declared here, in a file of its own, and its kinds in
// FamilyOf. A handler may move the reading position: Play reads the next
// word from wherever run.stream then stands, and a pass still ends at the
// end of the script (the stream can rewind today; a jump to another place
// needs a seek of the stream's own). It may end the run (Step::End). State
// it keeps between words goes in the Run beside WindowState. Not for use
// outside the player.
#pragma once

#include <optional>

#include "play/run_context.h"

namespace tesmuro::play {

using Family = Step (*)(Run& run, const script::Action& action);

Step PlayInput(Run& run, const script::Action& action);
Step PlayTypeText(Run& run, const script::Action& action);
Step PlayDelay(Run& run, const script::Action& action);
Step PlayWindowWord(Run& run, const script::Action& action);
Step PlayPicture(Run& run, const script::Action& action);
Step PlayWaitKey(Run& run, const script::Action& action);

// Before an input action: the window a window line named for it (if one did)
// is waited for. Nothing when the action may go; otherwise what the run does
// instead (a stop came: the action is left out; the window did not come).
std::optional<Step> AwaitNamedWindow(Run& run, const script::Action& next);

}  // namespace tesmuro::play
