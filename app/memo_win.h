// The script text box: a multi-line edit control whose lines the recorders
// append to. Appended lines are collected and handed to the control at most
// every few tens of milliseconds in one piece: an edit control's cost per
// insertion grows with its text, so one insertion per event would slow
// recording down as the script grows.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tesmuro::win {

// The edit control itself: multi-line, vertical scroll bar, word wrap, no
// length limit.
HWND CreateMemoEdit(HWND parent, int id);

class MemoControl {
 public:
  // `timerOwner` receives WM_TIMER with `timerId` when pending lines are due.
  MemoControl(HWND edit, HWND timerOwner, UINT_PTR timerId, UINT flushDelayMs = 40)
      : edit_(edit), owner_(timerOwner), timerId_(timerId), delayMs_(flushDelayMs) {}

  // Lines as the control reports them (wrapped rows count one each, a final
  // empty line does not count), pending lines included.
  int LineCount();
  // Appends one GBK line and its CR LF.
  void AppendLine(std::string_view gbk);
  // The script bytes (GBK); see app/script_text_win.h for bytes that are not.
  std::string Text(int* unencodable = nullptr);
  // False, with the old text kept, when the control cannot take the text.
  bool SetText(std::string_view gbk);
  // The same for a text of any size, handed to the control in steps of about
  // `stepMs` each; between steps `between(done, total)` (characters) lets the
  // window answer input and show the progress. The control is read-only
  // meanwhile, and appended lines wait until the text is in.
  bool SetTextInSteps(std::string_view gbk, const std::function<void(size_t, size_t)>& between,
                      unsigned stepMs = 250);
  // Hands the pending lines to the control now.
  void Flush();
  // The control reports a change; true when it was the user's (typing,
  // pasting), not this class's own.
  bool OnChange();

  // Time spent in this class's calls, for the benchmark.
  int64_t BusyMicros() const { return busyMicros_; }

 private:
  bool EndsWithLineBreak();
  HWND edit_;
  HWND owner_;
  UINT_PTR timerId_;
  UINT delayMs_;
  std::wstring pending_;
  int pendingLines_ = 0;
  bool timerSet_ = false;
  bool selfEdit_ = false;
  bool inSteps_ = false;
  // Whether the control's text ends with a line break (or is empty); unknown
  // after an edit by the user until asked.
  enum class Tail { Unknown, Break, Text } tail_ = Tail::Break;
  int64_t busyMicros_ = 0;
};

}  // namespace tesmuro::win
