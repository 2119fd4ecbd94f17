#include "editor/script_box_win.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <new>
#include <vector>

#include "ILoader.h"
#include "Scintilla.h"
#include "editor/box_rules.h"
#include "editor/fold_rules.h"
#include "editor/script_lexer.h"
#include "editor/word_hints.h"

extern "C" int Scintilla_RegisterClasses(void* hInstance);

namespace tesmuro::editor {

void UseSystemAlphaBlend();  // editor/alpha_blend_win.cpp
namespace {

constexpr UINT kGbk = 936;
constexpr UINT_PTR kSubclassId = 0x7E00;
constexpr UINT_PTR kFlushTimer = 0x7E01;   // ids clear of the component's own timers
constexpr UINT_PTR kFollowTimer = 0x7E02;
constexpr UINT_PTR kStructureTimer = 0x7E03;
// The structure is looked at again once typing pauses this long.
constexpr UINT kStructureDelayMs = 300;
constexpr UINT kFlushDelayMs = 40;
constexpr UINT kFollowMs = 50;
constexpr int kMarkPlayedLine = 0;   // line background
constexpr int kMarkPlayedArrow = 1;  // arrow in the marker margin
constexpr int kMarkBreakpoint = 2;   // red disc in the marker margin
constexpr int kMarkStructure = 3;    // line background: blocks, labels or jumps that do not fit
constexpr int kNumberMargin = 0;
constexpr int kMarkerMargin = 1;
constexpr int kFoldMargin = 2;
// A line's first word is all folding looks at; no word is longer than the reader keeps.
constexpr size_t kFoldLookBytes = 128;
constexpr int kStyleBytesPerCall = 1 << 20;
constexpr int kLostIndicator = 8;  // a '?' that stands for a character GBK cannot hold

// Colours, as 0x00BBGGRR.
constexpr COLORREF kKeywordColour = RGB(0, 0, 160);
constexpr COLORREF kControlColour = RGB(150, 0, 150);
constexpr COLORREF kNumberColour = RGB(0, 120, 110);
constexpr COLORREF kSkippedColour = RGB(150, 150, 150);
constexpr COLORREF kErrorColour = RGB(200, 0, 0);
constexpr COLORREF kErrorBack = RGB(255, 228, 228);
constexpr COLORREF kPlayedBack = RGB(255, 244, 170);
constexpr COLORREF kPlayedArrow = RGB(0, 140, 0);
constexpr COLORREF kBreakpointColour = RGB(210, 30, 30);
constexpr COLORREF kFoldMarkFore = RGB(255, 255, 255);
constexpr COLORREF kFoldMarkBack = RGB(128, 128, 128);

// Strict: false when some character has no GBK form.
bool EncodeGbk(std::wstring_view w, std::string& out) {
  out.clear();
  if (w.empty()) return true;
  BOOL lost = FALSE;
  const int n = WideCharToMultiByte(kGbk, WC_NO_BEST_FIT_CHARS, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                    nullptr, &lost);
  if (n <= 0 || lost) return false;
  out.resize(static_cast<size_t>(n));
  WideCharToMultiByte(kGbk, WC_NO_BEST_FIT_CHARS, w.data(), static_cast<int>(w.size()), out.data(), n, nullptr,
                      &lost);
  return !lost;
}

}  // namespace

std::string ToScriptBytes(std::wstring_view w, std::vector<size_t>& lost) {
  std::string out;
  if (EncodeGbk(w, out)) return out;
  out.clear();
  std::string piece;
  for (size_t i = 0; i < w.size();) {
    size_t len = 1;
    if (w[i] >= 0xD800 && w[i] <= 0xDBFF && i + 1 < w.size() && w[i + 1] >= 0xDC00 && w[i + 1] <= 0xDFFF) len = 2;
    if (EncodeGbk(w.substr(i, len), piece)) {
      out += piece;
    } else {
      lost.push_back(out.size());
      out += '?';
    }
    i += len;
  }
  return out;
}

ScriptBox::ScriptBox(HWND parent, int id) {
  // The component's window class, once for the program.
  UseSystemAlphaBlend();
  static const bool registered = Scintilla_RegisterClasses(GetModuleHandleW(nullptr)) != 0;
  if (!registered) return;
  sci_ = CreateWindowExW(WS_EX_CLIENTEDGE, L"Scintilla", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPCHILDREN,
                         0, 0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         GetModuleHandleW(nullptr), nullptr);
  if (!sci_) return;
  direct_ = reinterpret_cast<decltype(direct_)>(SendMessageW(sci_, SCI_GETDIRECTFUNCTION, 0, 0));
  directPtr_ = static_cast<intptr_t>(SendMessageW(sci_, SCI_GETDIRECTPOINTER, 0, 0));
  SetWindowSubclass(sci_, &ScriptBox::SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
  Configure();
}

ScriptBox::~ScriptBox() {
  if (sci_) {
    KillTimer(sci_, kFlushTimer);
    KillTimer(sci_, kFollowTimer);
    KillTimer(sci_, kStructureTimer);
    RemoveWindowSubclass(sci_, &ScriptBox::SubclassProc, kSubclassId);
  }
}

intptr_t ScriptBox::Call(unsigned msg, uintptr_t wParam, intptr_t lParam) {
  if (direct_) return direct_(directPtr_, msg, wParam, lParam);
  return sci_ ? static_cast<intptr_t>(SendMessageW(sci_, msg, wParam, lParam)) : 0;
}

// What the component keeps with the document rather than the window: set on
// the first one and on every one SetText puts in its place.
void ScriptBox::ConfigureDocument() {
  Call(SCI_SETCODEPAGE, kGbk);
  Call(SCI_SETEOLMODE, SC_EOL_CRLF);
  Call(SCI_SETUNDOCOLLECTION, 1);
  Call(SCI_SETTABWIDTH, 8);
  // The text as the script: no styling by a built-in lexer; this class
  // styles what comes into view (SCN_STYLENEEDED).
  Call(SCI_SETILEXER, 0, 0);
}

void ScriptBox::Configure() {
  ConfigureDocument();
  Call(SCI_SETWRAPMODE, SC_WRAP_WORD);
  Call(SCI_SETHSCROLLBAR, 0);
  Call(SCI_SETSCROLLWIDTHTRACKING, 0);
  Call(SCI_SETLAYOUTCACHE, SC_CACHE_PAGE);
  Call(SCI_USEPOPUP, SC_POPUP_NEVER);  // the box's own, Chinese menu instead
  Call(SCI_SETMODEVENTMASK, SC_MOD_INSERTTEXT | SC_MOD_DELETETEXT);
  Call(SCI_SETCOMMANDEVENTS, 1);       // EN_CHANGE to the parent
  Call(SCI_SETMULTIPLESELECTION, 0);
  Call(SCI_SETIDLESTYLING, SC_IDLESTYLING_NONE);

  Call(SCI_STYLESETFONT, STYLE_DEFAULT, reinterpret_cast<intptr_t>("SimSun"));
  Call(SCI_STYLESETCHARACTERSET, STYLE_DEFAULT, SC_CHARSET_GB2312);
  Call(SCI_STYLESETSIZE, STYLE_DEFAULT, 10);
  Call(SCI_STYLECLEARALL);
  Call(SCI_STYLESETFORE, static_cast<int>(ScriptStyle::Keyword), kKeywordColour);
  Call(SCI_STYLESETFORE, static_cast<int>(ScriptStyle::Number), kNumberColour);
  Call(SCI_STYLESETFORE, static_cast<int>(ScriptStyle::Skipped), kSkippedColour);
  Call(SCI_STYLESETFORE, static_cast<int>(ScriptStyle::Error), kErrorColour);
  Call(SCI_STYLESETBACK, static_cast<int>(ScriptStyle::Error), kErrorBack);
  Call(SCI_STYLESETFORE, static_cast<int>(ScriptStyle::Control), kControlColour);
  Call(SCI_STYLESETBOLD, static_cast<int>(ScriptStyle::Control), 1);
  Call(SCI_STYLESETFORE, STYLE_LINENUMBER, RGB(110, 110, 110));
  Call(SCI_STYLESETBACK, STYLE_LINENUMBER, RGB(240, 240, 240));

  Call(SCI_SETMARGINS, 3);
  Call(SCI_SETMARGINTYPEN, kNumberMargin, SC_MARGIN_NUMBER);
  Call(SCI_SETMARGINTYPEN, kMarkerMargin, SC_MARGIN_SYMBOL);
  Call(SCI_SETMARGINMASKN, kMarkerMargin, (1 << kMarkPlayedArrow) | (1 << kMarkBreakpoint));
  Call(SCI_SETMARGINWIDTHN, kMarkerMargin, 14);
  Call(SCI_SETMARGINSENSITIVEN, kMarkerMargin, 1);  // a click sets or clears a breakpoint
  Call(SCI_MARKERDEFINE, kMarkBreakpoint, SC_MARK_CIRCLE);
  Call(SCI_MARKERSETFORE, kMarkBreakpoint, RGB(120, 0, 0));
  Call(SCI_MARKERSETBACK, kMarkBreakpoint, kBreakpointColour);
  // Folding: the levels come with the styling of the lines shown (StyleTo),
  // so a long script costs nothing for the lines nobody looks at.
  Call(SCI_SETMARGINTYPEN, kFoldMargin, SC_MARGIN_SYMBOL);
  Call(SCI_SETMARGINMASKN, kFoldMargin, SC_MASK_FOLDERS);
  Call(SCI_SETMARGINWIDTHN, kFoldMargin, 14);
  Call(SCI_SETMARGINSENSITIVEN, kFoldMargin, 1);
  const std::pair<int, int> folders[] = {
      {SC_MARKNUM_FOLDEROPEN, SC_MARK_BOXMINUS},      {SC_MARKNUM_FOLDER, SC_MARK_BOXPLUS},
      {SC_MARKNUM_FOLDERSUB, SC_MARK_VLINE},          {SC_MARKNUM_FOLDERTAIL, SC_MARK_LCORNER},
      {SC_MARKNUM_FOLDEREND, SC_MARK_BOXPLUSCONNECTED}, {SC_MARKNUM_FOLDEROPENMID, SC_MARK_BOXMINUSCONNECTED},
      {SC_MARKNUM_FOLDERMIDTAIL, SC_MARK_TCORNER}};
  for (auto [number, symbol] : folders) {
    Call(SCI_MARKERDEFINE, number, symbol);
    Call(SCI_MARKERSETFORE, number, kFoldMarkFore);
    Call(SCI_MARKERSETBACK, number, kFoldMarkBack);
  }
  Call(SCI_SETFOLDFLAGS, SC_FOLDFLAG_LINEAFTER_CONTRACTED);
  Call(SCI_FOLDDISPLAYTEXTSETSTYLE, SC_FOLDDISPLAYTEXT_BOXED);
  Call(SCI_SETDEFAULTFOLDDISPLAYTEXT, 0, reinterpret_cast<intptr_t>("..."));
  // A folded line opens when the caret or a found text goes into it. Not
  // the component's own care of changed fold points: it looks for the end of
  // every new block at once, styling the whole stretch (a recording's moves:
  // the whole script); FoldLines opens a folded block that is no more.
  Call(SCI_SETAUTOMATICFOLD, SC_AUTOMATICFOLD_SHOW);
  // Word hints: the list in byte order (the component sorts it), exact case.
  Call(SCI_AUTOCSETORDER, SC_ORDER_PERFORMSORT);
  Call(SCI_AUTOCSETIGNORECASE, 0);
  Call(SCI_AUTOCSETMAXHEIGHT, 8);
  Call(SCI_MARKERDEFINE, kMarkPlayedLine, SC_MARK_BACKGROUND);
  Call(SCI_MARKERSETBACK, kMarkPlayedLine, kPlayedBack);
  Call(SCI_MARKERDEFINE, kMarkPlayedArrow, SC_MARK_SHORTARROW);
  Call(SCI_MARKERSETFORE, kMarkPlayedArrow, kPlayedArrow);
  Call(SCI_MARKERSETBACK, kMarkPlayedArrow, kPlayedArrow);
  Call(SCI_MARKERDEFINE, kMarkStructure, SC_MARK_BACKGROUND);
  Call(SCI_MARKERSETBACK, kMarkStructure, kErrorBack);
  Call(SCI_INDICSETSTYLE, kLostIndicator, INDIC_SQUIGGLE);
  Call(SCI_INDICSETFORE, kLostIndicator, kErrorColour);
  UpdateMarginWidth();
  Call(SCI_EMPTYUNDOBUFFER);
  Call(SCI_SETSAVEPOINT);
}

void ScriptBox::InsertTyped(std::wstring_view w) {
  std::vector<size_t> lost;
  const std::string bytes = ToScriptBytes(w, lost);
  const intptr_t at = Call(SCI_GETSELECTIONSTART);
  Call(SCI_REPLACESEL, 0, reinterpret_cast<intptr_t>(bytes.c_str()));
  MarkLost(at, lost);
}

void ScriptBox::MarkLost(int64_t at, const std::vector<size_t>& lost) {
  if (lost.empty()) return;
  Call(SCI_SETINDICATORCURRENT, kLostIndicator);
  for (size_t offset : lost) Call(SCI_INDICATORFILLRANGE, static_cast<uintptr_t>(at + offset), 1);
}

int ScriptBox::LostCount() {
  // The marked '?' still in the text (deleting one takes its mark along).
  int count = 0;
  const intptr_t len = Call(SCI_GETLENGTH);
  intptr_t pos = 0;
  while (pos < len) {
    const intptr_t end = Call(SCI_INDICATOREND, kLostIndicator, pos);
    if (end <= pos) break;
    if (Call(SCI_INDICATORVALUEAT, kLostIndicator, pos) != 0) {
      for (intptr_t i = pos; i < end; ++i) count += Call(SCI_GETCHARAT, i) == '?';
    }
    pos = end;
  }
  return count;
}

void ScriptBox::SetDpi(unsigned dpi) {
  dpi_ = dpi ? dpi : 96;
  Call(SCI_SETMARGINWIDTHN, kMarkerMargin, MulDiv(14, static_cast<int>(dpi_), 96));
  Call(SCI_SETMARGINWIDTHN, kFoldMargin, MulDiv(14, static_cast<int>(dpi_), 96));
  marginDigits_ = 0;
  UpdateMarginWidth();
}

void ScriptBox::UpdateMarginWidth() {
  const int digits = LineNumberDigits(Call(SCI_GETLINECOUNT));
  if (digits == marginDigits_) return;
  marginDigits_ = digits;
  const std::string sample = "_" + std::string(static_cast<size_t>(digits), '9');
  const intptr_t width = Call(SCI_TEXTWIDTH, STYLE_LINENUMBER, reinterpret_cast<intptr_t>(sample.c_str()));
  Call(SCI_SETMARGINWIDTHN, kNumberMargin, width + 4);
}

// ---- text ----

int64_t ScriptBox::Length() { return Call(SCI_GETLENGTH); }

int ScriptBox::StepCount() {
  const intptr_t lines = Call(SCI_GETLINECOUNT);
  const intptr_t last = lines - 1;
  const int64_t rows = Call(SCI_VISIBLEFROMDOCLINE, static_cast<uintptr_t>(last)) + Call(SCI_WRAPCOUNT, last);
  const bool lastEmpty = Call(SCI_POSITIONFROMLINE, last) == Call(SCI_GETLENGTH);
  return editor::StepCount(rows, lastEmpty, pendingLines_);
}

void ScriptBox::AppendLine(std::string_view gbk) {
  if (pending_.empty()) {
    const intptr_t len = Call(SCI_GETLENGTH);
    if (len > 0) {
      const char lastByte = static_cast<char>(Call(SCI_GETCHARAT, len - 1));
      if (lastByte != '\n' && lastByte != '\r') pending_ = "\r\n";  // a typed last line gets its end first
    }
  }
  pending_.append(gbk);
  pending_ += "\r\n";
  ++pendingLines_;
  if (!flushTimer_ && sci_) {
    SetTimer(sci_, kFlushTimer, kFlushDelayMs, nullptr);
    flushTimer_ = true;
  }
}

void ScriptBox::Flush() {
  if (flushTimer_) {
    KillTimer(sci_, kFlushTimer);
    flushTimer_ = false;
  }
  if (pending_.empty()) return;
  const intptr_t len = Call(SCI_GETLENGTH);
  // A caret at the end follows the recording; one elsewhere stays put.
  const bool follow = Call(SCI_GETCURRENTPOS) == len && Call(SCI_GETANCHOR) == len;
  // Recorded lines are no step of the user's to undo, and kept in the undo
  // history they would double the memory a long recording takes. The history
  // does not fit a text changed without it, so it starts afresh (empty, so
  // this costs nothing while a recording goes on): the user's own edits
  // after the lines are undone as before.
  selfEdit_ = true;
  Call(SCI_SETUNDOCOLLECTION, 0);
  Call(SCI_APPENDTEXT, pending_.size(), reinterpret_cast<intptr_t>(pending_.data()));
  Call(SCI_SETUNDOCOLLECTION, 1);
  Call(SCI_EMPTYUNDOBUFFER);
  selfEdit_ = false;
  pending_.clear();
  pendingLines_ = 0;
  if (follow) Call(SCI_GOTOPOS, Call(SCI_GETLENGTH));
}

void ScriptBox::InsertLine(std::string_view gbk) {
  Flush();
  const intptr_t caret = Call(SCI_GETCURRENTPOS);
  const intptr_t line = Call(SCI_LINEFROMPOSITION, caret);
  const bool atStart = caret == Call(SCI_POSITIONFROMLINE, line);
  const bool textAfter = caret < Call(SCI_GETLINEENDPOSITION, line);
  const std::string text = LineAtCaret(gbk, atStart, textAfter);
  Call(SCI_SETEMPTYSELECTION, caret);
  Call(SCI_BEGINUNDOACTION);
  Call(SCI_REPLACESEL, 0, reinterpret_cast<intptr_t>(text.c_str()));
  Call(SCI_ENDUNDOACTION);
  Call(SCI_SCROLLCARET);
}

std::string ScriptBox::Text(int* unencodable) {
  Flush();
  if (unencodable) *unencodable = LostCount();
  const intptr_t len = Call(SCI_GETLENGTH);
  if (len <= 0) return {};
  // The buffer itself, in one piece: NUL bytes and bytes that are not GBK included.
  const char* p = reinterpret_cast<const char*>(Call(SCI_GETCHARACTERPOINTER));
  return std::string(p, static_cast<size_t>(len));
}

bool ScriptBox::SetText(std::string_view gbk) {
  Flush();  // waiting lines belong to the old text
  ClearMark();
  if (!sci_) return false;
  if (Call(SCI_GETSTATUS) != SC_STATUS_OK) Call(SCI_SETSTATUS, SC_STATUS_OK);
  // The new text goes into a document of its own, which the box shows only
  // once it is complete: a text too big for memory leaves the old one where
  // it was. The loader starts empty and takes the text in one piece, so a
  // failure to make room is reported by AddData and the loader's Release
  // frees what it had.
  auto* loader = reinterpret_cast<Scintilla::ILoader*>(Call(SCI_CREATELOADER, 0, SC_DOCUMENTOPTION_DEFAULT));
  bool ok = loader != nullptr;
  if (ok && !gbk.empty())
    ok = loader->AddData(gbk.data(), static_cast<Sci_Position>(gbk.size())) == SC_STATUS_OK;
  if (Call(SCI_GETSTATUS) != SC_STATUS_OK) Call(SCI_SETSTATUS, SC_STATUS_OK);
  const bool wasReadOnly = Call(SCI_GETREADONLY) != 0;
  selfEdit_ = true;
  if (ok) {
    void* doc = loader->ConvertToDocument();
    Call(SCI_SETDOCPOINTER, 0, reinterpret_cast<intptr_t>(doc));
    Call(SCI_RELEASEDOCUMENT, 0, reinterpret_cast<intptr_t>(doc));  // the box's reference is the one left
    ConfigureDocument();
    Call(SCI_SETREADONLY, wasReadOnly ? 1 : 0);
    Call(SCI_EMPTYUNDOBUFFER);
    Call(SCI_SETSAVEPOINT);
    Call(SCI_GOTOPOS, 0);
  } else {
    if (loader) loader->Release();
    // Making a loader resets the view's record of the shown document's
    // lines (wrapping included); showing that document again rebuilds it.
    const intptr_t caret = Call(SCI_GETCURRENTPOS), anchor = Call(SCI_GETANCHOR);
    const intptr_t firstRow = Call(SCI_GETFIRSTVISIBLELINE);
    const intptr_t doc = Call(SCI_GETDOCPOINTER);
    Call(SCI_ADDREFDOCUMENT, 0, doc);
    Call(SCI_SETDOCPOINTER, 0, doc);
    Call(SCI_RELEASEDOCUMENT, 0, doc);
    Call(SCI_SETSEL, anchor, caret);
    Call(SCI_SETFIRSTVISIBLELINE, firstRow);
  }
  selfEdit_ = false;
  UpdateMarginWidth();  // a new document comes without a modification notice
  return ok;
}

// ---- notifications ----

bool ScriptBox::OnCommand(WPARAM wParam, LPARAM lParam) {
  if (reinterpret_cast<HWND>(lParam) != sci_ || HIWORD(wParam) != SCEN_CHANGE) return false;
  return !selfEdit_;
}

bool ScriptBox::OnNotify(LPARAM lParam) {
  const auto* n = reinterpret_cast<const SCNotification*>(lParam);
  if (!sci_ || n->nmhdr.hwndFrom != sci_) return false;
  switch (n->nmhdr.code) {
    case SCN_STYLENEEDED:
      StyleTo(n->position);
      break;
    case SCN_MODIFIED:
      if (n->linesAdded != 0) UpdateMarginWidth();
      // The line a run stopped or paused on is marked until the text changes:
      // after an edit its place no longer says where the run was.
      if (n->modificationType & (SC_MOD_INSERTTEXT | SC_MOD_DELETETEXT)) {
        SetTimer(sci_, kStructureTimer, kStructureDelayMs, nullptr);
        if (followOffset_) KillTimer(sci_, kFollowTimer);
        followOffset_ = nullptr;
        ClearMark();
      }
      break;
    case SCN_MARGINCLICK:
      OnMarginClick(n->margin, n->position);
      break;
    case SCN_CHARADDED:
      OnCharAdded(n->ch);
      break;
    default:
      break;
  }
  return true;
}

void ScriptBox::StyleTo(int64_t endPos) {
  // From the start of the line where styling stopped to the end of the line
  // holding endPos: lines are styled whole.
  const intptr_t firstLine = Call(SCI_LINEFROMPOSITION, Call(SCI_GETENDSTYLED));
  const intptr_t lastLine = Call(SCI_LINEFROMPOSITION, static_cast<uintptr_t>(endPos));
  const intptr_t start = Call(SCI_POSITIONFROMLINE, firstLine);
  const intptr_t stop =
      lastLine + 1 < Call(SCI_GETLINECOUNT) ? Call(SCI_POSITIONFROMLINE, lastLine + 1) : Call(SCI_GETLENGTH);
  if (stop <= start) return;
  std::vector<ScriptStyle> styles;
  std::vector<char> bytes;
  intptr_t pos = start;
  while (pos < stop) {
    // Pieces of whole lines, so a huge range is styled without a huge buffer.
    intptr_t pieceEnd = std::min<intptr_t>(stop, pos + kStyleBytesPerCall);
    if (pieceEnd < stop) {
      const intptr_t line = Call(SCI_LINEFROMPOSITION, pieceEnd);
      const intptr_t lineStart = Call(SCI_POSITIONFROMLINE, line);
      pieceEnd = lineStart > pos ? lineStart : Call(SCI_POSITIONFROMLINE, line + 1);
      if (pieceEnd <= pos) pieceEnd = stop;
    }
    const auto n = static_cast<size_t>(pieceEnd - pos);
    const char* text = reinterpret_cast<const char*>(Call(SCI_GETRANGEPOINTER, pos, static_cast<intptr_t>(n)));
    styles.resize(n);
    size_t i = 0;
    while (i < n) {
      size_t j = i;
      while (j < n && text[j] != '\n' && text[j] != '\r') ++j;
      while (j < n && (text[j] == '\r' || text[j] == '\n')) ++j;  // the line end belongs to the line
      StyleScriptLine(std::string_view(text + i, j - i), styles.data() + i);
      i = j;
    }
    Call(SCI_STARTSTYLING, pos);
    Call(SCI_SETSTYLINGEX, n, reinterpret_cast<intptr_t>(styles.data()));
    pos = pieceEnd;
  }
  FoldLines(firstLine, lastLine);
}

void ScriptBox::FoldLines(intptr_t first, intptr_t last) {
  // Each line's fold follows from the state the line before it left, kept
  // as the line's state: lines styled earlier need no second look.
  FoldState state = first > 0 ? FoldState::Unpack(static_cast<int32_t>(Call(SCI_GETLINESTATE, first - 1)))
                              : FoldState{};
  const intptr_t lines = Call(SCI_GETLINECOUNT);
  auto kindOf = [&](intptr_t line) { return line < lines ? FoldKindOf(LineText(line, kFoldLookBytes)) : FoldKind::Other; };
  for (intptr_t line = first; line <= last; ++line) {
    const FoldKind kind = kindOf(line);
    FoldKind ahead = FoldKind::Other;
    if (kind == FoldKind::Move && state.stretchMoves == 0) {
      // Whether a move follows, past the delays between.
      intptr_t next = line + 1;
      while (next - line <= kMaxDelaysAhead && (ahead = kindOf(next)) == FoldKind::Delay) ++next;
      if (ahead == FoldKind::Delay) ahead = FoldKind::Move;
    }
    const FoldLine f = NextFoldLine(state, kind, ahead);
    const intptr_t level = (SC_FOLDLEVELBASE + f.level) | (f.header ? SC_FOLDLEVELHEADERFLAG : 0);
    const intptr_t was = Call(SCI_GETFOLDLEVEL, line);
    if (was != level) {
      // A folded block whose first line no longer opens one: its lines show again.
      if ((was & SC_FOLDLEVELHEADERFLAG) && !f.header && !Call(SCI_GETFOLDEXPANDED, line))
        Call(SCI_FOLDLINE, line, SC_FOLDACTION_EXPAND);
      Call(SCI_SETFOLDLEVEL, line, level);
    }
    Call(SCI_SETLINESTATE, line, f.after.Pack());
    state = f.after;
  }
}

// ---- the structure ----

void ScriptBox::MarkStructure() {
  const auto length = static_cast<size_t>(Call(SCI_GETLENGTH));
  const char* text = reinterpret_cast<const char*>(Call(SCI_GETCHARACTERPOINTER));
  const std::optional<StructureMark> wrong = ScriptStructureError(std::string_view(text ? text : "", text ? length : 0));
  Call(SCI_MARKERDELETEALL, kMarkStructure);
  if (wrong) Call(SCI_MARKERADD, static_cast<uintptr_t>(wrong->line), kMarkStructure);
}

// ---- the played line ----

void ScriptBox::FollowPlayback(std::function<std::optional<int64_t>()> offset) {
  followOffset_ = std::move(offset);
  if (!sci_) return;
  SetTimer(sci_, kFollowTimer, kFollowMs, nullptr);
  OnFollowTimer();
}

void ScriptBox::ClearMark() {
  if (markedLine_ < 0) return;
  Call(SCI_MARKERDELETEALL, kMarkPlayedLine);
  Call(SCI_MARKERDELETEALL, kMarkPlayedArrow);
  markedLine_ = -1;
}

void ScriptBox::OnFollowTimer() {
  const std::optional<int64_t> at = followOffset_ ? followOffset_() : std::nullopt;
  if (!at) {
    KillTimer(sci_, kFollowTimer);
    followOffset_ = nullptr;
    ClearMark();
    return;
  }
  const intptr_t len = Call(SCI_GETLENGTH);
  const intptr_t line = Call(SCI_LINEFROMPOSITION, static_cast<uintptr_t>(std::clamp<int64_t>(*at, 0, len)));
  if (line != markedLine_) {
    ClearMark();
    Call(SCI_MARKERADD, line, kMarkPlayedLine);
    Call(SCI_MARKERADD, line, kMarkPlayedArrow);
    markedLine_ = line;
  }
  const intptr_t display = Call(SCI_VISIBLEFROMDOCLINE, line);
  const int64_t first = FirstRowToShow(display, Call(SCI_GETFIRSTVISIBLELINE), Call(SCI_LINESONSCREEN));
  if (first >= 0) Call(SCI_SETFIRSTVISIBLELINE, first);
}

// ---- messages ----

LRESULT CALLBACK ScriptBox::SubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                         DWORD_PTR self) noexcept {
  bool handled = false;
  LRESULT r = 0;
  try {
    r = reinterpret_cast<ScriptBox*>(self)->OnMessage(msg, wParam, lParam, handled);
  } catch (...) {
    handled = false;  // the component carries on with the message
  }
  return handled ? r : DefSubclassProc(hwnd, msg, wParam, lParam);
}

// Keys the box handles itself: its own shortcuts and a line's undo step.
LRESULT ScriptBox::OnKeyDown(WPARAM key, bool& handled) {
  const bool ctrl = GetKeyState(VK_CONTROL) < 0, shift = GetKeyState(VK_SHIFT) < 0, alt = GetKeyState(VK_MENU) < 0;
  if (alt) return 0;
  if (key == VK_RETURN && !ctrl) {
    // Typing is undone a line at a time: a new line starts a new step.
    Call(SCI_BEGINUNDOACTION);
    Call(SCI_ENDUNDOACTION);
    return 0;
  }
  if ((ctrl && !shift && key == 'V') || (shift && !ctrl && key == VK_INSERT)) {
    handled = true;
    Paste();
    return 0;
  }
  if (ctrl && !shift && key == 'F') {
    handled = true;
    Find();
  } else if (ctrl && !shift && key == 'G') {
    handled = true;
    GoToLine();
  } else if (!ctrl && key == VK_F3) {
    handled = true;
    FindNext(!shift);
  } else if (!ctrl && !shift && key == VK_F1) {
    handled = true;
    HelpOnWord();
  }
  return 0;
}

LRESULT ScriptBox::OnChar(WPARAM code, bool& handled) {
  // The control characters of Ctrl+letter keys (^F, ^G of this class's
  // own keys among them) are no script text; Backspace, Tab and Enter are.
  if (code < 0x20 && code != '\b' && code != '\t' && code != '\r' && code != '\n') {
    handled = true;
    return 0;
  }
  if (code < 0x80) return 0;
  // A character GBK cannot hold (a pair of surrogates always) becomes a
  // marked '?', so Save can say how many there are.
  const auto c = static_cast<wchar_t>(code);
  if (c >= 0xD800 && c <= 0xDBFF) {
    highSurrogate_ = c;
    handled = true;
    return 0;
  }
  std::wstring ch;
  if (c >= 0xDC00 && c <= 0xDFFF && highSurrogate_) ch = {highSurrogate_, c};
  else ch = {c};
  highSurrogate_ = 0;
  std::string bytes;
  if (ch.size() == 1 && EncodeGbk(ch, bytes)) return 0;  // the component types it
  handled = true;
  if (Call(SCI_GETREADONLY)) return 0;
  InsertTyped(ch);
  Call(SCI_SCROLLCARET);
  return 0;
}

// The component takes WM_SETTEXT's text in the document's code page; a
// window's text is UTF-16. A text set from outside (another program, an
// accessibility tool) replaces the old one and is a change like the user's,
// so closing asks before it is lost.
LRESULT ScriptBox::OnSetText(const wchar_t* text) {
  std::vector<size_t> lost;
  const std::string bytes = ToScriptBytes(text ? std::wstring_view(text) : std::wstring_view(), lost);
  Flush();
  Call(SCI_SETTEXT, 0, reinterpret_cast<intptr_t>(bytes.c_str()));
  MarkLost(0, lost);
  Call(SCI_EMPTYUNDOBUFFER);
  return TRUE;
}

LRESULT ScriptBox::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) {
  switch (msg) {
    case WM_TIMER:
      if (wParam == kFlushTimer) {
        Flush();
        handled = true;
      } else if (wParam == kFollowTimer) {
        OnFollowTimer();
        handled = true;
      } else if (wParam == kStructureTimer) {
        KillTimer(sci_, kStructureTimer);
        MarkStructure();
        handled = true;
      }
      return 0;
    case WM_CONTEXTMENU:
      handled = true;
      ShowContextMenu(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      return 0;
    case WM_KEYDOWN:
      return OnKeyDown(wParam, handled);
    case WM_CHAR:
      return OnChar(wParam, handled);
    case WM_PASTE:
      handled = true;
      Paste();
      return 0;
    case WM_SETTEXT:
      handled = true;
      return OnSetText(reinterpret_cast<const wchar_t*>(lParam));
    default:
      return 0;
  }
}

}  // namespace tesmuro::editor
