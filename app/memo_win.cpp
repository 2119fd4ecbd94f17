#include "app/memo_win.h"

#include "app/script_text_win.h"
#include "app/win_util_win.h"

#include <algorithm>
#include <new>

namespace tesmuro::win {
namespace {

constexpr double kLongestStepMs = 1000;

int64_t NowMicros() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return c.QuadPart * 1000000 / f.QuadPart;
}

struct BusyTimer {
  int64_t& total;
  int64_t start = NowMicros();
  ~BusyTimer() { total += NowMicros() - start; }
};

}  // namespace

HWND CreateMemoEdit(HWND parent, int id) {
  HWND edit = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                              WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL |
                                  ES_WANTRETURN | ES_NOHIDESEL,
                              0, 0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                              GetModuleHandleW(nullptr), nullptr);
  SendMessageW(edit, EM_SETLIMITTEXT, 0, 0);  // no length limit
  return edit;
}

bool MemoControl::EndsWithLineBreak() {
  if (tail_ == Tail::Unknown) {
    const int len = GetWindowTextLengthW(edit_);
    if (len == 0) {
      tail_ = Tail::Break;
    } else {
      std::wstring text(static_cast<size_t>(len) + 1, L'\0');
      const int got = GetWindowTextW(edit_, text.data(), len + 1);
      tail_ = (got > 0 && (text[got - 1] == L'\n' || text[got - 1] == L'\r')) ? Tail::Break : Tail::Text;
    }
  }
  return tail_ == Tail::Break;
}

int MemoControl::LineCount() {
  BusyTimer t{busyMicros_};
  int n = static_cast<int>(SendMessageW(edit_, EM_GETLINECOUNT, 0, 0));
  if (EndsWithLineBreak()) --n;  // the empty row after the last line end
  return n + pendingLines_;
}

void MemoControl::AppendLine(std::string_view gbk) {
  BusyTimer t{busyMicros_};
  if (pending_.empty() && !EndsWithLineBreak()) pending_ = L"\r\n";  // a typed last line gets its end first
  pending_ += GbkToWide(gbk);
  pending_ += L"\r\n";
  ++pendingLines_;
  if (!timerSet_) {
    SetTimer(owner_, timerId_, delayMs_, nullptr);
    timerSet_ = true;
  }
}

void MemoControl::Flush() {
  if (timerSet_) {
    KillTimer(owner_, timerId_);
    timerSet_ = false;
  }
  // Lines that arrive while a text is handed over in steps wait for its end.
  if (pending_.empty() || inSteps_) return;
  BusyTimer t{busyMicros_};
  const int len = GetWindowTextLengthW(edit_);
  selfEdit_ = true;
  SendMessageW(edit_, EM_SETSEL, static_cast<WPARAM>(len), static_cast<LPARAM>(len));
  SendMessageW(edit_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(pending_.c_str()));
  selfEdit_ = false;
  tail_ = Tail::Break;
  pending_.clear();
  pendingLines_ = 0;
}

std::string MemoControl::Text(int* unencodable) {
  Flush();
  const int len = GetWindowTextLengthW(edit_);
  std::wstring w(static_cast<size_t>(len) + 1, L'\0');
  const int got = GetWindowTextW(edit_, w.data(), len + 1);
  w.resize(static_cast<size_t>(got > 0 ? got : 0));
  return WideToScriptBytes(w, unencodable);
}

bool MemoControl::SetText(std::string_view gbk) {
  std::wstring w;
  try {
    w = ScriptBytesToWide(gbk);
  } catch (const std::bad_alloc&) {
    return false;
  }
  Flush();  // lines still pending belong to the old text, which may stay
  selfEdit_ = true;
  const bool taken = SetWindowTextW(edit_, w.c_str()) != FALSE &&
                     static_cast<size_t>(GetWindowTextLengthW(edit_)) == w.size();
  selfEdit_ = false;
  tail_ = taken ? ((w.empty() || w.back() == L'\n' || w.back() == L'\r') ? Tail::Break : Tail::Text)
                : Tail::Unknown;
  return taken;
}

bool MemoControl::SetTextInSteps(std::string_view gbk, const std::function<void(size_t, size_t)>& between,
                                 unsigned stepMs) {
  std::wstring w, old;
  try {
    w = ScriptBytesToWide(gbk);
    Flush();
    const int oldLen = GetWindowTextLengthW(edit_);
    if (oldLen > 0) {
      old.resize(static_cast<size_t>(oldLen) + 1);
      old.resize(static_cast<size_t>(std::max(0, GetWindowTextW(edit_, old.data(), oldLen + 1))));
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  // Steps end after a line break and are sized from the time the last one
  // took, so each takes about stepMs whatever the machine.
  const auto stepEnd = [&](size_t from, size_t chars) {
    size_t end = std::min(w.size(), from + chars);
    if (end < w.size()) {
      const size_t lf = w.find(L'\n', end);
      end = lf == std::wstring::npos ? w.size() : lf + 1;
    }
    return end;
  };
  const bool wasReadOnly = (GetWindowLongW(edit_, GWL_STYLE) & ES_READONLY) != 0;
  SendMessageW(edit_, EM_SETREADONLY, TRUE, 0);
  SendMessageW(edit_, WM_SETREDRAW, FALSE, 0);
  inSteps_ = true;
  selfEdit_ = true;
  size_t done = 0;
  size_t chars = 64 * 1024;
  size_t before = 0;          // characters in the control before the step
  double formatPerChar = 0;   // ms to format a character
  double walkPerChar = 0;     // ms per character already in the control, per step
  bool ok = true;
  while (ok && (done < w.size() || done == 0)) {
    const size_t end = stepEnd(done, chars);
    const std::wstring piece = w.substr(done, end - done);
    LARGE_INTEGER f, t0, t1;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t0);
    if (done == 0) {
      ok = SetWindowTextW(edit_, piece.c_str()) != FALSE;
    } else {
      const int len = GetWindowTextLengthW(edit_);
      SendMessageW(edit_, EM_SETSEL, static_cast<WPARAM>(len), static_cast<LPARAM>(len));
      SendMessageW(edit_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(piece.c_str()));
    }
    ok = ok && static_cast<size_t>(GetWindowTextLengthW(edit_)) == end;
    QueryPerformanceCounter(&t1);
    done = end;
    if (!ok || done >= w.size()) break;
    const double ms = static_cast<double>(t1.QuadPart - t0.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
    // A step costs the formatting of its own text plus a cost that grows
    // with the text already in the control (the edit control walks its
    // lines on every change). The first step, into an empty control, shows
    // the formatting alone; later ones show the other cost per character
    // already in. Steps take about stepMs of formatting, and grow as the
    // text grows so that the other cost stays within a fifth of the whole.
    const double pieceChars = static_cast<double>(piece.size());
    if (formatPerChar == 0) {
      formatPerChar = ms / pieceChars;
    } else {
      const double perCharIn = std::max(0.0, ms - formatPerChar * pieceChars) / static_cast<double>(before);
      // A step that ran undisturbed says little about the next: the estimate
      // follows the dearer steps at once and the cheaper ones slowly.
      walkPerChar = std::max(walkPerChar * 0.8, perCharIn);
    }
    if (formatPerChar > 0) {
      // ... but never so long that a step is expected to keep the window
      // from answering for more than a second.
      const double walkMs = walkPerChar * static_cast<double>(done);
      const double wanted = std::max(stepMs / formatPerChar, 4 * walkMs / formatPerChar);
      const double longest = std::max(0.0, kLongestStepMs - walkMs) / formatPerChar;
      chars = std::clamp<size_t>(static_cast<size_t>(std::min(wanted, longest)), 4096, 64u << 20);
    }
    before = done;
    selfEdit_ = false;
    if (between) between(done, w.size());
    selfEdit_ = true;
  }
  if (!ok) SetWindowTextW(edit_, old.c_str());  // what the box held before
  selfEdit_ = false;
  inSteps_ = false;
  SendMessageW(edit_, WM_SETREDRAW, TRUE, 0);
  if (!wasReadOnly) SendMessageW(edit_, EM_SETREADONLY, FALSE, 0);
  SendMessageW(edit_, EM_SETSEL, 0, 0);
  SendMessageW(edit_, EM_SCROLLCARET, 0, 0);
  InvalidateRect(edit_, nullptr, TRUE);
  const std::wstring& now = ok ? w : old;
  tail_ = (now.empty() || now.back() == L'\n' || now.back() == L'\r') ? Tail::Break : Tail::Text;
  Flush();
  return ok;
}

bool MemoControl::OnChange() {
  if (selfEdit_) return false;
  tail_ = Tail::Unknown;
  return true;
}

}  // namespace tesmuro::win
