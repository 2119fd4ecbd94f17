// The script box's commands: undo and the clipboard, Find, Go to line, and
// the context menu that offers them.
#include "editor/script_box_win.h"

#include <cwchar>
#include <string>

#include "Scintilla.h"
#include "editor/box_rules.h"
#include "ui/message_box.h"
#include "ui/win_util_win.h"

namespace tesmuro::editor {
namespace {

// Context menu and Edit menu commands.
enum : int { kCmdUndo = 1, kCmdRedo, kCmdCut, kCmdCopy, kCmdPaste, kCmdDelete, kCmdSelectAll, kCmdFind,
             kCmdFindNext, kCmdGoTo };

}  // namespace

void ScriptBox::Undo() { Call(SCI_UNDO); }
void ScriptBox::Redo() { Call(SCI_REDO); }
void ScriptBox::Cut() { Call(SCI_CUT); }
void ScriptBox::Copy() { Call(SCI_COPY); }
void ScriptBox::Paste() {
  // The clipboard's UTF-16 text, so that a character GBK cannot hold is
  // marked where it became '?' (the component's own paste would not say).
  if (Call(SCI_GETREADONLY) || !OpenClipboard(sci_)) return;
  std::wstring text;
  if (HANDLE h = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* p = static_cast<const wchar_t*>(GlobalLock(h))) {
      text.assign(p, wcsnlen(p, GlobalSize(h) / sizeof(wchar_t)));
      GlobalUnlock(h);
    }
  }
  CloseClipboard();
  if (text.empty()) return;
  Call(SCI_BEGINUNDOACTION);
  InsertTyped(text);
  Call(SCI_ENDUNDOACTION);
  Call(SCI_SCROLLCARET);
}
void ScriptBox::Clear() { Call(SCI_CLEAR); }
void ScriptBox::SelectAll() { Call(SCI_SELECTALL); }
bool ScriptBox::CanUndo() { return Call(SCI_CANUNDO) != 0; }
bool ScriptBox::CanRedo() { return Call(SCI_CANREDO) != 0; }

bool ScriptBox::FindFrom(int64_t from, bool forward, bool wrapAround) {
  const std::string what = win::WideToGbk(find_.what);
  if (what.empty()) return false;
  int flags = 0;
  if (find_.matchCase) flags |= SCFIND_MATCHCASE;
  if (find_.wholeWord) flags |= SCFIND_WHOLEWORD;
  Call(SCI_SETSEARCHFLAGS, flags);
  const intptr_t len = Call(SCI_GETLENGTH);
  auto search = [&](intptr_t a, intptr_t b) {
    Call(SCI_SETTARGETRANGE, a, b);
    return Call(SCI_SEARCHINTARGET, what.size(), reinterpret_cast<intptr_t>(what.c_str()));
  };
  intptr_t at = forward ? search(from, len) : search(from, 0);
  if (at < 0 && wrapAround) at = forward ? search(0, from) : search(len, from);
  if (at < 0) return false;
  Call(SCI_SETSEL, Call(SCI_GETTARGETSTART), Call(SCI_GETTARGETEND));
  Call(SCI_SCROLLCARET);
  return true;
}

void ScriptBox::FindNext(bool forward) {
  if (find_.what.empty()) {
    Find();
    return;
  }
  const bool down = forward != find_.up;
  const intptr_t from = down ? Call(SCI_GETSELECTIONEND) : Call(SCI_GETSELECTIONSTART);
  if (!FindFrom(from, down, /*wrapAround=*/true)) {
    const std::wstring message = L"找不到“" + find_.what + L"”。";
    MessageBoxW(GetActiveWindow(), message.c_str(), win::Wide(text::kNotice).c_str(), MB_OK | MB_ICONINFORMATION);
  }
}

void ScriptBox::Find() {
  // The selection, when it is part of one line, is what to look for.
  const intptr_t a = Call(SCI_GETSELECTIONSTART), b = Call(SCI_GETSELECTIONEND);
  if (b > a && b - a < 256 && Call(SCI_LINEFROMPOSITION, a) == Call(SCI_LINEFROMPOSITION, b)) {
    std::string sel(static_cast<size_t>(b - a) + 1, '\0');
    Call(SCI_GETSELTEXT, 0, reinterpret_cast<intptr_t>(sel.data()));
    sel.resize(static_cast<size_t>(b - a));
    std::wstring what = win::GbkToWide(sel);
    if (!what.empty()) find_.what = std::move(what);
  }
  HWND owner = GetAncestor(sci_, GA_ROOT);
  RunFindDialog(owner, find_, [this](const FindOptions&) { FindNext(true); });
  SetFocus(sci_);
}

void ScriptBox::GoToLine() {
  const intptr_t lines = Call(SCI_GETLINECOUNT);
  const intptr_t current = Call(SCI_LINEFROMPOSITION, Call(SCI_GETCURRENTPOS)) + 1;
  const auto chosen = RunGoToLineDialog(GetAncestor(sci_, GA_ROOT), current, lines);
  SetFocus(sci_);
  if (!chosen) return;
  const intptr_t line = static_cast<intptr_t>(*chosen - 1);
  Call(SCI_ENSUREVISIBLEENFORCEPOLICY, line);
  Call(SCI_GOTOLINE, line);
  // The line a third of the way down, as a jump far away reads best.
  const intptr_t onScreen = Call(SCI_LINESONSCREEN);
  const intptr_t display = Call(SCI_VISIBLEFROMDOCLINE, line);
  const int64_t first = FirstRowToShow(display, Call(SCI_GETFIRSTVISIBLELINE), onScreen);
  if (first >= 0) Call(SCI_SETFIRSTVISIBLELINE, first);
}

void ScriptBox::ShowContextMenu(int x, int y) {
  if (x == -1 && y == -1) {  // from the keyboard: at the caret
    const intptr_t pos = Call(SCI_GETCURRENTPOS);
    POINT pt{static_cast<LONG>(Call(SCI_POINTXFROMPOSITION, 0, pos)),
             static_cast<LONG>(Call(SCI_POINTYFROMPOSITION, 0, pos) + Call(SCI_TEXTHEIGHT, 0))};
    ClientToScreen(sci_, &pt);
    x = pt.x, y = pt.y;
  }
  const bool readOnly = Call(SCI_GETREADONLY) != 0;
  const bool selection = Call(SCI_GETSELECTIONEMPTY) == 0;
  const bool empty = Call(SCI_GETLENGTH) == 0;
  auto flag = [](bool on) { return MF_STRING | (on ? MF_ENABLED : MF_GRAYED); };
  HMENU menu = CreatePopupMenu();
  AppendMenuW(menu, flag(!readOnly && CanUndo()), kCmdUndo, L"撤销(&U)\tCtrl+Z");
  AppendMenuW(menu, flag(!readOnly && CanRedo()), kCmdRedo, L"重做(&R)\tCtrl+Y");
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, flag(!readOnly && selection), kCmdCut, L"剪切(&T)\tCtrl+X");
  AppendMenuW(menu, flag(selection), kCmdCopy, L"复制(&C)\tCtrl+C");
  AppendMenuW(menu, flag(!readOnly && Call(SCI_CANPASTE) != 0), kCmdPaste, L"粘贴(&P)\tCtrl+V");
  AppendMenuW(menu, flag(!readOnly && selection), kCmdDelete, L"删除(&D)\tDel");
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, flag(!empty), kCmdSelectAll, L"全选(&A)\tCtrl+A");
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, flag(!empty), kCmdFind, L"查找(&F)...\tCtrl+F");
  AppendMenuW(menu, flag(!empty), kCmdFindNext, L"查找下一个(&N)\tF3");
  AppendMenuW(menu, flag(!empty), kCmdGoTo, L"转到行(&G)...\tCtrl+G");
  const int cmd = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, x, y, 0, sci_, nullptr);
  DestroyMenu(menu);
  switch (cmd) {
    case kCmdUndo: Undo(); break;
    case kCmdRedo: Redo(); break;
    case kCmdCut: Cut(); break;
    case kCmdCopy: Copy(); break;
    case kCmdPaste: Paste(); break;
    case kCmdDelete: Clear(); break;
    case kCmdSelectAll: SelectAll(); break;
    case kCmdFind: Find(); break;
    case kCmdFindNext: FindNext(true); break;
    case kCmdGoTo: GoToLine(); break;
    default: break;
  }
}

}  // namespace tesmuro::editor
