// The script box's 精简移动, and the replacement of its text that the
// command's one step to undo is made of.
#include "editor/script_box_win.h"

#include <new>

#include "Scintilla.h"
#include "editor/box_rules.h"
#include "script/thin_moves.h"

namespace tesmuro::editor {

std::optional<std::string> ScriptBox::ThinMoves() {
  if (!sci_) return std::nullopt;
  const auto tolerance =
      RunThinToleranceDialog(GetAncestor(sci_, GA_ROOT), thinTolerance_.value_or(script::kDefaultThinTolerance));
  SetFocus(sci_);
  if (!tolerance) return std::nullopt;
  thinTolerance_ = tolerance;
  Flush();
  // The box's own buffer, read in place: the text may be tens of megabytes.
  const intptr_t len = Call(SCI_GETLENGTH);
  const char* text = len > 0 ? reinterpret_cast<const char*>(Call(SCI_GETCHARACTERPOINTER)) : "";
  const script::ThinResult thinned = script::ThinMoves(std::string_view(text, static_cast<size_t>(len)), *tolerance);
  ReplaceText(thinned.bytes);
  return script::ThinStatusText(thinned.removedLines, thinned.keptLines);
}

void ScriptBox::ReplaceText(std::string_view gbk) {
  Flush();
  const intptr_t len = Call(SCI_GETLENGTH);
  const char* old = len > 0 ? reinterpret_cast<const char*>(Call(SCI_GETCHARACTERPOINTER)) : "";
  const LineChange change = ChangedLines(std::string_view(old, static_cast<size_t>(len)), gbk);
  const auto start = static_cast<intptr_t>(change.start), oldEnd = static_cast<intptr_t>(change.oldEnd),
             newEnd = static_cast<intptr_t>(change.newEnd);
  if (oldEnd == start && newEnd == start) return;  // the same text

  // Where the selection and the view are, in lines of the text before.
  const intptr_t caret = Call(SCI_GETCURRENTPOS), anchor = Call(SCI_GETANCHOR);
  const intptr_t caretLine = Call(SCI_LINEFROMPOSITION, caret), anchorLine = Call(SCI_LINEFROMPOSITION, anchor);
  const intptr_t firstRow = Call(SCI_GETFIRSTVISIBLELINE);
  const intptr_t topLine = Call(SCI_DOCLINEFROMVISIBLE, firstRow);
  const intptr_t caretRow = Call(SCI_VISIBLEFROMDOCLINE, caretLine);
  const bool caretInView = caretRow >= firstRow && caretRow < firstRow + Call(SCI_LINESONSCREEN);
  const intptr_t first = Call(SCI_LINEFROMPOSITION, start);
  const intptr_t oldLines = Call(SCI_LINEFROMPOSITION, oldEnd) - first;

  Call(SCI_BEGINUNDOACTION);
  Call(SCI_SETTARGETRANGE, start, oldEnd);
  Call(SCI_REPLACETARGET, newEnd - start, reinterpret_cast<intptr_t>(gbk.data() + start));
  Call(SCI_ENDUNDOACTION);
  if (Call(SCI_GETSTATUS) != SC_STATUS_OK) {
    // No room for the new text: what went in is taken back, the old text stays.
    Call(SCI_SETSTATUS, SC_STATUS_OK);
    Call(SCI_UNDO);
    throw std::bad_alloc();
  }

  const intptr_t newLines = Call(SCI_LINEFROMPOSITION, newEnd) - first;
  auto lineAfter = [&](intptr_t l) { return static_cast<intptr_t>(LineAfterChange(l, first, oldLines, newLines)); };
  // Outside the change a position keeps its place in its line; inside, it
  // goes to the start of the line its own maps to.
  auto place = [&](intptr_t pos, intptr_t lineBefore) {
    if (pos <= start) return pos;
    if (pos >= oldEnd) return pos + (newEnd - oldEnd);
    return static_cast<intptr_t>(Call(SCI_POSITIONFROMLINE, lineAfter(lineBefore)));
  };
  Call(SCI_SETSEL, place(anchor, anchorLine), place(caret, caretLine));
  Call(SCI_SETFIRSTVISIBLELINE, Call(SCI_VISIBLEFROMDOCLINE, lineAfter(topLine)));
  if (caretInView) Call(SCI_SCROLLCARET);
}

}  // namespace tesmuro::editor
