// The script box: the main window's editor for the action script, built on
// the Scintilla editing component.
//
// The box holds the script's bytes themselves (code page 936), so a file that
// is not clean GBK goes through Load and Save byte for byte. It owns
// everything about the box: its window and look (word wrap, line numbers,
// the script's colours), its change notifications, loading and the lines the
// recorders append, the step count (a wrapped line counts once for each row
// it fills), Find, Go to line, 精简移动, its context menu and the mark on the
// line a run is playing.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "editor/find_dialog_win.h"
#include "play/run_options.h"

namespace tesmuro::editor {

// UTF-16 text (typed, pasted, set from outside) as the box's GBK bytes; a
// character GBK cannot hold becomes '?', and its byte offset goes to `lost`.
std::string ToScriptBytes(std::wstring_view text, std::vector<size_t>& lost);

class ScriptBox {
 public:
  // Creates the box as a child of `parent` with control id `id`. The box
  // sends its parent WM_COMMAND with EN_CHANGE when its text changes, and
  // WM_NOTIFY messages that the parent hands to OnNotify().
  ScriptBox(HWND parent, int id);
  ~ScriptBox();
  ScriptBox(const ScriptBox&) = delete;
  ScriptBox& operator=(const ScriptBox&) = delete;

  HWND Handle() const { return sci_; }
  bool Created() const { return sci_ != nullptr; }

  // The mini window's step count: rows as shown, the row after a final line
  // break not counted, appended lines still waiting included.
  int StepCount();
  // Appends one GBK line and its CR LF. Lines are collected and handed to
  // the box at most every `flushDelayMs`; a caret at the end follows them.
  void AppendLine(std::string_view gbk);
  // Hands the waiting lines to the box now.
  void Flush();
  // The script bytes. `unencodable` receives the number of characters
  // typed, pasted or set from outside that GBK cannot hold: each became a
  // '?' marked with a red wavy line, counted while it is in the text.
  std::string Text(int* unencodable = nullptr);
  // Replaces the text (not undoable: the undo history starts afresh). False,
  // with the old text kept, when there is no memory for it.
  bool SetText(std::string_view gbk);
  // Puts a GBK line in at the caret as a line of its own (LineAtCaret), as
  // one step to undo; the caret goes after it.
  void InsertLine(std::string_view gbk);
  // Puts `gbk` in place of the text as one step to undo, a change like the
  // user's. Only the lines that differ are replaced; the caret, the
  // selection and the view keep to the lines they were on.
  void ReplaceText(std::string_view gbk);
  // Bytes in the box (waiting lines not included).
  int64_t Length();

  // The parent's WM_COMMAND from the box: true when it reports a change
  // made by the user (typing, pasting, undo), not by this class.
  bool OnCommand(WPARAM wParam, LPARAM lParam);
  // The parent's WM_NOTIFY: true when it came from the box (and was handled).
  bool OnNotify(LPARAM lParam);
  // The window's font size changed with its DPI.
  void SetDpi(unsigned dpi);

  // Commands (the main window's menu and the box's own keys and menu).
  void Find();
  void FindNext(bool forward = true);
  void GoToLine();
  // 精简移动: asks for the tolerance (the last one given offered) and takes out the moves the pointer's
  // path can do without, as one step to undo; the status text, or nothing
  // when the user cancelled.
  std::optional<std::string> ThinMoves();
  void Undo();
  void Redo();
  void Cut();
  void Copy();
  void Paste();
  void Clear();
  void SelectAll();
  bool CanUndo();
  bool CanRedo();

  // Follows a run that plays the box's own text: every 50 ms `offset` says
  // the byte the run is at (nullopt: the run is over, the mark goes), the
  // line holding it is marked and kept in view. Replaces any earlier one.
  void FollowPlayback(std::function<std::optional<int64_t>()> offset);
  // The line marked as played (0-based), -1 when none.
  int64_t MarkedLine() const { return markedLine_; }

  // Breakpoints: a red disc beside a line, set or cleared by a click in the
  // marker margin or ToggleBreakpoint. They belong to the box, never to the
  // text: saving writes the text alone, and a new text has none.
  void ToggleBreakpoint(int64_t line);
  void ToggleBreakpointAtCaret();
  // The lines with a breakpoint, as the player takes them.
  std::vector<play::LineSpan> Breakpoints();
  // The lines the caret is on (from its line to the end of the text), or the
  // lines the selection touches: where a run that plays from here starts and
  // ends (end -1: the end of the text).
  play::LineSpan CaretLines(bool selection);
  // F1 on a word: `open` is given the help page of the word at the caret.
  void OnHelpOnWord(std::function<void(std::string_view page)> open) { helpOnWord_ = std::move(open); }

 private:
  static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                       DWORD_PTR self) noexcept;
  LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
  LRESULT OnKeyDown(WPARAM key, bool& handled);
  LRESULT OnChar(WPARAM code, bool& handled);
  LRESULT OnSetText(const wchar_t* text);
  intptr_t Call(unsigned msg, uintptr_t wParam = 0, intptr_t lParam = 0);
  void Configure();
  void ConfigureDocument();
  void StyleTo(int64_t endPos);
  // Fold levels of the lines [first, last], from the state the line before left.
  void FoldLines(intptr_t first, intptr_t last);
  void OnMarginClick(int margin, int64_t position);
  void ToggleFoldAt(intptr_t line);
  void OnCharAdded(int ch);
  void HelpOnWord();
  // The text of a line without its line end (at most `max` bytes).
  std::string LineText(intptr_t line, size_t max = 4096);
  void UpdateMarginWidth();
  void ShowContextMenu(int x, int y);
  void OnFollowTimer();
  void ClearMark();
  // Marks the first line whose blocks, label or jump do not fit (red), as
  // the player would refuse the script.
  void MarkStructure();
  bool FindFrom(int64_t from, bool forward, bool wrapAround);
  // Inserts UTF-16 text at the selection, marking what GBK cannot hold.
  void InsertTyped(std::wstring_view w);
  void MarkLost(int64_t at, const std::vector<size_t>& lost);
  int LostCount();

  HWND sci_ = nullptr;
  intptr_t (*direct_)(intptr_t, unsigned, uintptr_t, intptr_t) = nullptr;
  intptr_t directPtr_ = 0;
  unsigned dpi_ = 96;
  std::string pending_;
  int pendingLines_ = 0;
  bool flushTimer_ = false;
  bool selfEdit_ = false;
  int marginDigits_ = 0;
  std::function<std::optional<int64_t>()> followOffset_;
  int64_t markedLine_ = -1;
  std::function<void(std::string_view)> helpOnWord_;
  wchar_t highSurrogate_ = 0;
  FindOptions find_;
  // The tolerance 精简移动 was last given, offered again (none yet: the default).
  std::optional<int32_t> thinTolerance_;
};

}  // namespace tesmuro::editor
