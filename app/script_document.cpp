#include "app/script_document.h"

#include <stdexcept>

#include "app/texts.h"
#include "script/script_format.h"
#include "util/file_io.h"

namespace tesmuro {
namespace {

// Larger scripts are not loaded into the text box: its text takes twice the
// bytes as UTF-16, and the program has a 32-bit address space.
constexpr size_t kMaxScriptBytes = 256u * 1024 * 1024;

}  // namespace

ScriptDocument::ScriptDocument(Services s)
    : box_(s.box),
      dialogs_(s.dialogs),
      clock_(s.clock),
      recording_(std::move(s.recording)),
      showName_(std::move(s.showName)),
      journal_(s.recovery) {}

void ScriptDocument::AppendLine(std::string_view gbk) {
  box_.MemoAppendLine(gbk);
  modified_ = true;
  asLoaded_ = false;
  journal_.AddLine(gbk, clock_.TickCount());
}

void ScriptDocument::TakeBackLines(int64_t count) {
  if (count <= 0) return;
  std::string text = box_.MemoText();
  // Each recorded line ends with CR LF; the cut goes after the line before
  // the first one taken back.
  size_t end = text.size();
  if (end >= 2 && text.compare(end - 2, 2, "\r\n") == 0) end -= 2;
  for (int64_t i = 0; i < count && end > 0; ++i) {
    const size_t lineStart = text.rfind("\r\n", end - 1);
    end = lineStart == std::string::npos ? 0 : lineStart;
  }
  text.resize(end == 0 ? 0 : end + 2);
  if (!box_.MemoSetText(text)) return;
  modified_ = true;
  journal_.Discard();
  journal_.Begin(text, clock_.TickCount());
}

void ScriptDocument::MarkClean() {
  modified_ = false;
  // While recording goes on, the journal keeps every line the recorders add.
  if (!recording_()) journal_.Discard();
}

bool ScriptDocument::ConfirmDiscard() {
  if (!modified_) return true;
  switch (dialogs_.ShowMessage(text::kAskSaveChanges, text::kNotice, kMbYesNoCancel | kMbIconWarning)) {
    case kIdYes:
      return Save(/*saveAs=*/false);
    case kIdNo:
      modified_ = false;
      journal_.Discard();
      return true;
    default:
      return false;
  }
}

void ScriptDocument::Replaced(std::string_view text) {
  modified_ = false;
  asLoaded_ = false;
  journal_.Discard();
  if (recording_()) journal_.Begin(text, clock_.TickCount());
}

void ScriptDocument::Load(const std::string& path, bool toShowRun) {
  // Everything is read and converted before anything changes.
  std::string text;
  bool asOnDisk = false;  // no line break needed changing
  try {
    std::string bytes;
    if (!ReadWholeFile(path, bytes)) throw std::runtime_error("Cannot open file \"" + path + "\"");
    if (bytes.size() > kMaxScriptBytes) {
      dialogs_.ShowMessage(text::kScriptTooBig + path, text::kNotice, kMbOk | kMbIconError);
      return;
    }
    text = script::NormalizeLineBreaks(bytes);
    asOnDisk = text.size() == bytes.size();
  } catch (const std::bad_alloc&) {
    dialogs_.ShowMessage(text::kScriptNoMemory + path, text::kNotice, kMbOk | kMbIconError);
    return;
  }
  if (!box_.MemoSetText(text)) {
    dialogs_.ShowMessage(text::kScriptNoMemory + path, text::kNotice, kMbOk | kMbIconError);
    return;
  }
  FileName = path;
  showName_(FileName);
  matchesFile_ = asOnDisk;
  Replaced(text);
  asLoaded_ = toShowRun;
}

bool ScriptDocument::Write(const std::string& path) {
  int unencodable = 0;
  std::string text = box_.MemoText(&unencodable);
  if (unencodable > 0 &&
      dialogs_.ShowMessage(text::UnencodableCharacters(unencodable), text::kNotice, kMbOkCancel | kMbIconWarning) !=
          kIdOk)
    return false;
  // Every line is saved with its CR LF, the last one too.
  if (!text.empty() && text.back() != '\n' && text.back() != '\r') text += "\r\n";
  if (!WriteFileAtomically(path, text)) throw std::runtime_error("Cannot create file \"" + path + "\"");
  return true;
}

bool ScriptDocument::Save(bool saveAs) {
  std::string path = FileName;
  if (saveAs || path.empty()) {
    const auto chosen = dialogs_.RunFileDialog(FileDialog::Save);
    if (!chosen) return false;
    path = *chosen;
  }
  if (!saveAs && asLoaded_ && path == FileName) return true;  // nothing to write back
  if (!Write(path)) return false;
  FileName = path;
  matchesFile_ = true;
  if (!saveAs) showName_(FileName);  // Save As leaves the caption alone
  MarkClean();
  return true;
}

void ScriptDocument::New() {
  FileName.clear();
  Clear();
}

void ScriptDocument::Clear() {
  box_.MemoSetText("");
  matchesFile_ = false;
  Replaced("");
}

void ScriptDocument::OfferRecovery() {
  if (recoveryOffered_) return;
  recoveryOffered_ = true;
  std::optional<std::string> left;
  try {
    left = journal_.TakeLeftOver();
  } catch (const std::bad_alloc&) {
    return;  // too big to take back; nothing else is touched
  }
  if (!left || left->empty()) return;
  if (dialogs_.ShowMessage(text::kAskRecover, text::kNotice, kMbYesNo | kMbIconInformation) != kIdYes) return;
  if (!box_.MemoSetText(*left)) return;
  FileName.clear();
  matchesFile_ = false;
  modified_ = true;
  // The recovered script stays in the journal until it is saved or discarded.
  journal_.Begin(*left, clock_.TickCount());
}

void ScriptDocument::RecordingStarts(uint32_t now) { journal_.Begin(box_.MemoText(), now); }

void ScriptDocument::RecordingStops(uint32_t now) { journal_.Flush(now); }

void ScriptDocument::OnTimer() { journal_.FlushIfDue(clock_.TickCount()); }

void ScriptDocument::Closing() {
  // With unsaved text (the session ended without asking) the journal stays
  // for next time.
  if (!modified_) journal_.Discard();
}

}  // namespace tesmuro
