#include "editor/find_dialog_win.h"

#include <cwchar>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "editor/thin_prompt.h"
#include "script/thin_moves.h"
#include "ui/message_box.h"
#include "ui/win_util_win.h"
#include "ui/window_proc_win.h"

namespace tesmuro::editor {
namespace {

enum : int { kIdText = 1001, kIdWholeWord, kIdMatchCase, kIdUp, kIdDown };

// A dialog template in memory: DLGTEMPLATE, then its items, each on a DWORD
// boundary.
class Template {
 public:
  Template(const wchar_t* caption, short cx, short cy) {
    const DWORD style = DS_SETFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU;
    Put32(style);
    Put32(0);           // extended style
    countAt_ = words_.size();
    Put16(0);           // item count, filled in below
    Put16(0), Put16(0), Put16(static_cast<WORD>(cx)), Put16(static_cast<WORD>(cy));
    Put16(0), Put16(0);  // no menu, default class
    PutText(caption);
    Put16(9);
    PutText(L"MS Shell Dlg");
  }
  // `cls`: 0x80 button, 0x81 edit, 0x82 static.
  void Item(WORD cls, int id, const wchar_t* text, DWORD style, short x, short y, short cx, short cy) {
    if (words_.size() % 2) Put16(0);  // DWORD alignment
    Put32(style | WS_CHILD | WS_VISIBLE);
    Put32(0);
    Put16(static_cast<WORD>(x)), Put16(static_cast<WORD>(y)), Put16(static_cast<WORD>(cx)),
        Put16(static_cast<WORD>(cy));
    Put16(static_cast<WORD>(id));
    Put16(0xFFFF), Put16(cls);
    PutText(text);
    Put16(0);  // no creation data
    ++words_[countAt_];
  }
  const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  void Put16(WORD w) { words_.push_back(w); }
  void Put32(DWORD d) { Put16(LOWORD(d)), Put16(HIWORD(d)); }
  void PutText(const wchar_t* s) {
    for (; *s; ++s) Put16(static_cast<WORD>(*s));
    Put16(0);
  }
  std::vector<WORD> words_;
  size_t countAt_ = 0;
};

std::wstring ItemText(HWND dlg, int id) {
  const int len = GetWindowTextLengthW(GetDlgItem(dlg, id));
  std::wstring s(static_cast<size_t>(len) + 1, L'\0');
  s.resize(static_cast<size_t>(GetDlgItemTextW(dlg, id, s.data(), len + 1)));
  return s;
}

// The entry of a dialog selected and focused; refused with a message, the
// dialog staying open on it.
void SelectEntry(HWND dlg) {
  SendDlgItemMessageW(dlg, kIdText, EM_SETSEL, 0, -1);
  SetFocus(GetDlgItem(dlg, kIdText));
}

void RefuseEntry(HWND dlg, const std::wstring& message) {
  MessageBoxW(dlg, message.c_str(), win::Wide(text::kNotice).c_str(), MB_OK | MB_ICONINFORMATION);
  SelectEntry(dlg);
}

struct FindState {
  FindOptions* options;
  const std::function<void(const FindOptions&)>* findNext;
};

INT_PTR CALLBACK FindProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
  auto* st = win::DialogObject<FindState>(dlg, msg, lParam);
  switch (msg) {
    case WM_INITDIALOG: {
      SetDlgItemTextW(dlg, kIdText, st->options->what.c_str());
      CheckDlgButton(dlg, kIdWholeWord, st->options->wholeWord ? BST_CHECKED : BST_UNCHECKED);
      CheckDlgButton(dlg, kIdMatchCase, st->options->matchCase ? BST_CHECKED : BST_UNCHECKED);
      CheckRadioButton(dlg, kIdUp, kIdDown, st->options->up ? kIdUp : kIdDown);
      EnableWindow(GetDlgItem(dlg, IDOK), !st->options->what.empty());
      SelectEntry(dlg);
      return FALSE;  // the focus is set
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kIdText:
          if (HIWORD(wParam) == EN_CHANGE)
            EnableWindow(GetDlgItem(dlg, IDOK), GetWindowTextLengthW(GetDlgItem(dlg, kIdText)) > 0);
          return TRUE;
        case IDOK: {
          FindOptions& o = *st->options;
          o.what = ItemText(dlg, kIdText);
          o.wholeWord = IsDlgButtonChecked(dlg, kIdWholeWord) == BST_CHECKED;
          o.matchCase = IsDlgButtonChecked(dlg, kIdMatchCase) == BST_CHECKED;
          o.up = IsDlgButtonChecked(dlg, kIdUp) == BST_CHECKED;
          if (!o.what.empty()) (*st->findNext)(o);
          return TRUE;
        }
        case IDCANCEL:
          EndDialog(dlg, IDCANCEL);
          return TRUE;
        default:
          return FALSE;
      }
    default:
      return FALSE;
  }
}

// A dialog that asks for one number: its label and the text offered, the
// entry's length limit, how the entry reads (nothing: refused with
// `refusal`, the dialog staying open on it) and the number it gave.
struct NumberPrompt {
  std::wstring label;
  std::wstring text;
  WPARAM limit;
  std::function<std::optional<int64_t>(const std::wstring&)> read;
  std::wstring refusal;
  int64_t chosen = 0;
};

INT_PTR CALLBACK NumberProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
  auto* st = win::DialogObject<NumberPrompt>(dlg, msg, lParam);
  switch (msg) {
    case WM_INITDIALOG:
      SetDlgItemTextW(dlg, 1000, st->label.c_str());
      SetDlgItemTextW(dlg, kIdText, st->text.c_str());
      SendDlgItemMessageW(dlg, kIdText, EM_LIMITTEXT, st->limit, 0);
      SelectEntry(dlg);
      return FALSE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        std::optional<int64_t> n;
        try {
          n = st->read(ItemText(dlg, kIdText));
        } catch (...) {  // nothing throws across the dialog procedure
        }
        if (!n) {
          RefuseEntry(dlg, st->refusal);
          return TRUE;
        }
        st->chosen = *n;
        EndDialog(dlg, IDOK);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dlg, IDCANCEL);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

std::optional<int64_t> RunNumberDialog(HWND owner, const std::wstring& caption, const wchar_t* ok, DWORD entryStyle,
                                       NumberPrompt& prompt) {
  Template t(caption.c_str(), 160, 58);
  t.Item(0x82, 1000, L"", SS_LEFT, 7, 7, 146, 8);
  t.Item(0x81, kIdText, L"", WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL | entryStyle, 7, 18, 146, 13);
  t.Item(0x80, IDOK, ok, BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, 49, 38, 50, 14);
  t.Item(0x80, IDCANCEL, L"取消", BS_PUSHBUTTON | WS_TABSTOP, 103, 38, 50, 14);
  const INT_PTR r = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), t.Get(), owner, &NumberProc,
                                            reinterpret_cast<LPARAM>(&prompt));
  if (r != IDOK) return std::nullopt;
  return prompt.chosen;
}

}  // namespace

void RunFindDialog(HWND owner, FindOptions& options, const std::function<void(const FindOptions&)>& findNext) {
  Template t(L"查找", 252, 62);
  t.Item(0x82, -1, L"查找内容(&N):", SS_LEFT, 7, 9, 54, 8);
  t.Item(0x81, kIdText, L"", WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 62, 7, 118, 13);
  t.Item(0x80, kIdWholeWord, L"全字匹配(&W)", BS_AUTOCHECKBOX | WS_TABSTOP | WS_GROUP, 7, 28, 80, 10);
  t.Item(0x80, kIdMatchCase, L"区分大小写(&C)", BS_AUTOCHECKBOX | WS_TABSTOP, 7, 44, 80, 10);
  t.Item(0x80, -1, L"方向", BS_GROUPBOX, 98, 24, 82, 30);
  t.Item(0x80, kIdUp, L"向上(&U)", BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, 104, 37, 36, 10);
  t.Item(0x80, kIdDown, L"向下(&D)", BS_AUTORADIOBUTTON, 142, 37, 36, 10);
  t.Item(0x80, IDOK, L"查找下一个(&F)", BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, 188, 6, 58, 14);
  t.Item(0x80, IDCANCEL, L"取消", BS_PUSHBUTTON | WS_TABSTOP, 188, 24, 58, 14);
  FindState st{&options, &findNext};
  DialogBoxIndirectParamW(GetModuleHandleW(nullptr), t.Get(), owner, &FindProc, reinterpret_cast<LPARAM>(&st));
}

std::optional<int64_t> RunGoToLineDialog(HWND owner, int64_t currentLine, int64_t lineCount) {
  NumberPrompt p{L"行号(1 - " + std::to_wstring(lineCount) + L")(&L):", std::to_wstring(currentLine), 19,
                 [lineCount](const std::wstring& t) -> std::optional<int64_t> {
                   if (t.empty() || t.size() > 18) return std::nullopt;
                   int64_t n = 0;
                   for (wchar_t c : t) {
                     if (c < L'0' || c > L'9') return std::nullopt;
                     n = n * 10 + (c - L'0');
                   }
                   if (n < 1 || n > lineCount) return std::nullopt;
                   return n;
                 },
                 L"行号超出范围：请输入 1 到 " + std::to_wstring(lineCount) + L" 之间的数。"};
  return RunNumberDialog(owner, L"转到指定行", L"转到(&G)", ES_NUMBER, p);
}

std::optional<int32_t> RunThinToleranceDialog(HWND owner, int32_t initial) {
  NumberPrompt p{win::Wide(kThinToleranceLabel), std::to_wstring(initial), 16,
                 [](const std::wstring& t) -> std::optional<int64_t> {
                   if (const auto v = script::ParseThinTolerance(win::Utf8(t))) return *v;
                   return std::nullopt;
                 },
                 win::Wide(script::ThinToleranceRefusal())};
  const auto v = RunNumberDialog(owner, win::Wide(kThinCaption), L"确定", 0, p);
  if (!v) return std::nullopt;
  return static_cast<int32_t>(*v);
}

}  // namespace tesmuro::editor
