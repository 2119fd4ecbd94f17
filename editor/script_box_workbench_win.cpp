// The script box as a workbench: breakpoints, folding by a click in the fold
// margin, the word hints (autocompletion and call tips) and F1 on a word.
#include <algorithm>

#include "Scintilla.h"
#include "editor/fold_rules.h"
#include "editor/script_box_win.h"
#include "editor/word_hints.h"
#include "script/control_table.h"
#include "script/word_reader.h"

namespace tesmuro::editor {
namespace {

// The same numbers as script_box_win.cpp's.
constexpr int kMarkBreakpoint = 2;
constexpr int kMarkerMargin = 1;
constexpr int kFoldMargin = 2;

bool IsIf(std::string_view word) {
  const auto c = script::MatchControlWord(word);
  return c == script::ControlWord::If || c == script::ControlWord::IfNot;
}

// A word at `start` of `line` stands where a keyword does: first on its line,
// or after 如果 / 如果不 (whose wait word follows on the line).
bool KeywordPlace(std::string_view line, size_t start) {
  size_t at = 0;
  for (;;) {
    while (at < start && script::IsScriptSpace(static_cast<unsigned char>(line[at]))) ++at;
    if (at >= start) return true;
    size_t end = at;
    while (end < start && !script::IsScriptSpace(static_cast<unsigned char>(line[end]))) ++end;
    if (!IsIf(line.substr(at, end - at))) return false;
    at = end;
  }
}

}  // namespace

std::string ScriptBox::LineText(intptr_t line, size_t max) {
  const intptr_t start = Call(SCI_POSITIONFROMLINE, line);
  const intptr_t end = Call(SCI_GETLINEENDPOSITION, line);
  const intptr_t n = std::min<intptr_t>(end - start, static_cast<intptr_t>(max));
  if (n <= 0) return {};
  return std::string(reinterpret_cast<const char*>(Call(SCI_GETRANGEPOINTER, start, n)), static_cast<size_t>(n));
}

// ---- breakpoints ----

void ScriptBox::ToggleBreakpoint(int64_t line) {
  if (line < 0 || line >= Call(SCI_GETLINECOUNT)) return;
  if (Call(SCI_MARKERGET, line) & (1 << kMarkBreakpoint))
    Call(SCI_MARKERDELETE, line, kMarkBreakpoint);
  else
    Call(SCI_MARKERADD, line, kMarkBreakpoint);
}

void ScriptBox::ToggleBreakpointAtCaret() {
  ToggleBreakpoint(Call(SCI_LINEFROMPOSITION, Call(SCI_GETCURRENTPOS)));
}

std::vector<play::LineSpan> ScriptBox::Breakpoints() {
  Flush();
  std::vector<play::LineSpan> lines;
  const intptr_t len = Call(SCI_GETLENGTH);
  for (intptr_t line = Call(SCI_MARKERNEXT, 0, 1 << kMarkBreakpoint); line >= 0;
       line = Call(SCI_MARKERNEXT, line + 1, 1 << kMarkBreakpoint)) {
    const intptr_t start = Call(SCI_POSITIONFROMLINE, line);
    if (start >= len) break;  // the empty row after the last line break holds nothing to stop before
    const intptr_t next = line + 1 < Call(SCI_GETLINECOUNT) ? Call(SCI_POSITIONFROMLINE, line + 1) : len;
    lines.push_back({start, next, line + 1});
  }
  return lines;
}

play::LineSpan ScriptBox::CaretLines(bool selection) {
  Flush();
  const intptr_t len = Call(SCI_GETLENGTH);
  const intptr_t lines = Call(SCI_GETLINECOUNT);
  const intptr_t a = Call(SCI_GETSELECTIONSTART), b = Call(SCI_GETSELECTIONEND);
  const intptr_t first = Call(SCI_LINEFROMPOSITION, a);
  play::LineSpan span{Call(SCI_POSITIONFROMLINE, first), -1, first + 1};
  if (!selection) return span;
  intptr_t last = Call(SCI_LINEFROMPOSITION, b);
  // A selection that ends at a line's start (whole lines picked) leaves that line out.
  if (b > a && last > first && b == Call(SCI_POSITIONFROMLINE, last)) --last;
  span.end = last + 1 < lines ? Call(SCI_POSITIONFROMLINE, last + 1) : len;
  return span;
}

// ---- margins ----

void ScriptBox::OnMarginClick(int margin, int64_t position) {
  const intptr_t line = Call(SCI_LINEFROMPOSITION, static_cast<uintptr_t>(position));
  if (margin == kMarkerMargin) ToggleBreakpoint(line);
  if (margin == kFoldMargin) ToggleFoldAt(line);
}

void ScriptBox::ToggleFoldAt(intptr_t line) {
  if (!(Call(SCI_GETFOLDLEVEL, line) & SC_FOLDLEVELHEADERFLAG)) return;
  if (!Call(SCI_GETFOLDEXPANDED, line) || FoldKindOf(LineText(line, 128)) != FoldKind::Move) {
    Call(SCI_TOGGLEFOLD, line);
    return;
  }
  // A stretch of moves folds as "移动 × N", N its moves.
  const intptr_t last = Call(SCI_GETLASTCHILD, line, -1);
  int64_t moves = 0;
  for (intptr_t l = line; l <= last; ++l) moves += FoldKindOf(LineText(l, 128)) == FoldKind::Move;
  const std::string text = MoveStretchText(moves);
  Call(SCI_TOGGLEFOLDSHOWTEXT, line, reinterpret_cast<intptr_t>(text.c_str()));
}

// ---- word hints ----

void ScriptBox::OnCharAdded(int ch) {
  if (selfEdit_ || Call(SCI_GETREADONLY)) return;
  if (ch == '\r' || ch == '\n') {
    Call(SCI_CALLTIPCANCEL);
    return;
  }
  const intptr_t caret = Call(SCI_GETCURRENTPOS);
  const intptr_t line = Call(SCI_LINEFROMPOSITION, caret);
  const intptr_t lineStart = Call(SCI_POSITIONFROMLINE, line);
  const std::string text = LineText(line, static_cast<size_t>(caret - lineStart));
  if (text.empty()) return;
  size_t start = 0;
  if (ch == ' ' || ch == '\t') {
    // After a word and a space: the word's arguments.
    const std::string_view word = WordAt(text, text.size() - 1, &start);
    if (word.empty() || !KeywordPlace(text, start)) return;
    if (const auto tip = CallTip(word)) Call(SCI_CALLTIPSHOW, lineStart + start, reinterpret_cast<intptr_t>(tip->c_str()));
    return;
  }
  const std::string_view typed = WordAt(text, text.size(), &start);
  const std::string list = KeywordPlace(text, start) ? CompletionList(typed) : std::string();
  if (list.empty()) {
    if (Call(SCI_AUTOCACTIVE)) Call(SCI_AUTOCCANCEL);
    return;
  }
  Call(SCI_AUTOCSHOW, typed.size(), reinterpret_cast<intptr_t>(list.c_str()));
}

void ScriptBox::HelpOnWord() {
  if (!helpOnWord_) return;
  const intptr_t caret = Call(SCI_GETCURRENTPOS);
  const intptr_t line = Call(SCI_LINEFROMPOSITION, caret);
  const std::string text = LineText(line);
  const WordHint* hint = FindWordHint(WordAt(text, static_cast<size_t>(caret - Call(SCI_POSITIONFROMLINE, line))));
  helpOnWord_(hint ? hint->page : std::string_view("words.htm"));
}

}  // namespace tesmuro::editor
