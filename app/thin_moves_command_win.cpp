// The main window's 精简移动: the script box does the work; the window keeps
// it from running while a recording or a playback goes on, and shows what it
// did in the status bar's wide last panel.
#include "app/main_window_win.h"

#include "editor/thin_prompt.h"
#include "ui/message_box.h"

namespace tesmuro::win {

void MainWindowWin::ThinMoves() {
  // The recorders append to the text, the player follows its lines.
  if (logic_->Recorder().Recording() || logic_->Playback().Playing()) {
    ShowMessage(editor::kThinNotWhileRunning, text::kNotice, kMbOk | kMbIconInformation);
    return;
  }
  SetFocus(memo_);
  if (const auto status = memoText_->ThinMoves()) logic_->ShowEditResult(*status);
}

}  // namespace tesmuro::win
