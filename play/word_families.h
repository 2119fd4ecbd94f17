// The word families of the player: each plays the words of one kind on the
// run's context (play/run_context.h) and says whether the run goes on.
//
//   input     moves, buttons, wheels, keys, controller, screen lines, typed
//             text (输入文本), and words the player has no use for
//             (play/word_input.cpp)
//   delays    延迟, 随机延迟 (play/word_delays.cpp)
//   windows   窗口, 等待窗口, 等待颜色 (play/word_windows.cpp)
//   pictures  等待图像, 点击图像 (play/word_pictures.cpp)
//   control   如果, 如果不, 否则, 结束如果, 重复, 结束重复, 跳出重复, 标签,
//             跳到, 调用, 结束播放 (play/word_control.cpp): read by Play
//             before the reader's keywords, since they are not among them
//   keys      等待按键 (play/word_keys.cpp)
//
// FamilyOf (play/run_play.cpp) says which family plays a word. Another
// family is a handler declared here, in a file of its own, and its kinds in
// FamilyOf. A handler may move the reading position: Play reads the next
// word from wherever run.stream then stands (a jump seeks it), and a pass
// ends at the end of the run's own script. It may end the run (Step::End).
// State it keeps between words goes in the Run beside WindowState. Not for
// use outside the player.
#pragma once

#include <optional>

#include "play/run_context.h"

namespace tesmuro::play {

using Family = Step (*)(Run& run, const script::Action& action);

// The family that plays a word the reader knows.
Family FamilyOf(script::ActionKind kind);

Step PlayInput(Run& run, const script::Action& action);
Step PlayTypeText(Run& run, const script::Action& action);
Step PlayDelay(Run& run, const script::Action& action);
Step PlayWindowWord(Run& run, const script::Action& action);
Step PlayPicture(Run& run, const script::Action& action);
Step PlayWaitKey(Run& run, const script::Action& action);

// A control word whose word starts at `at` of the script being read.
Step PlayControl(Run& run, script::ControlWord word, int64_t at);
// Before the run: the structure of its script and of the scripts it calls.
// The run's control table, or the run's end on a structure error.
std::optional<Step> CheckStructure(Run& run);
// Reading starts at `start` (a line's start) of the run's own script, as if
// the blocks around it had been entered there: its 重复 go round as often as
// they would from their first round.
void EnterAt(Run& run, int64_t start);
// At the end of a called script: it plays again or its caller reads on.
// False when no call is being played (the run's own script ended).
bool EndOfCalled(Run& run);

// Before an input action: the window a window line named for it (if one did)
// is waited for. Nothing when the action may go; otherwise what the run does
// instead (a stop came: the action is left out; the window did not come).
std::optional<Step> AwaitNamedWindow(Run& run, const script::Action& next);

}  // namespace tesmuro::play
