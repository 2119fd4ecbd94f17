// The script the main window holds: its text box, its file, whether it has
// unsaved changes, and the recovery journal that keeps a recording safe
// until it is saved.
//
// Nothing is thrown away without asking: Load, Clear, closing and the end of
// the session ask first when the text changed since it was last loaded,
// saved or discarded (recorded lines and the user's own edits count; the
// program's own loads do not).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "app/main_view.h"
#include "app/recovery.h"
#include "os/platform.h"

namespace tesmuro {

class ScriptDocument {
 public:
  struct Services {
    IScriptBoxView& box;
    IDialogView& dialogs;
    IClock& clock;
    IRecoveryStore* recovery = nullptr;     // none keeps no journal
    std::function<bool()> recording;        // recording is on: the journal keeps what comes
    std::function<void(const std::string&)> showName;  // the window's caption for a file name
  };
  explicit ScriptDocument(Services services);

  // The file the text was last loaded from or saved to (UTF-8); empty: none.
  std::string FileName;

  // The text changed since it was last loaded, saved or discarded.
  bool Modified() const { return modified_; }
  // The text box holds the file's bytes exactly, unchanged since.
  bool MatchesFile() const { return matchesFile_ && !modified_; }

  // A recorded line: appended to the text and to the journal.
  void AppendLine(std::string_view gbk);
  // The user changed the text.
  void ChangedByUser() {
    modified_ = true;
    asLoaded_ = false;
  }
  // Takes the last `count` recorded lines back out of the text, during a
  // recording (the journal starts again from what is left).
  void TakeBackLines(int64_t count);

  // Unsaved changes: asks whether to save them. True when the text may go
  // (saved, or discarded by the user).
  bool ConfirmDiscard();
  // Opens `path` into the text box (no dialog). A load that fails says why
  // and leaves text, name and caption as they were. `toShowRun`: the file is
  // loaded only to show a run of it (/play), so a Save before any edit
  // leaves the file as it is.
  void Load(const std::string& path, bool toShowRun = false);
  // Save (asking for a name when there is none, or always with `saveAs`);
  // false when nothing was written. Throws on a failed write. A box that
  // holds its file as loaded, unchanged since, is not written back: the
  // file keeps its own bytes (true).
  bool Save(bool saveAs);
  // The text goes (New forgets the file name, Clear keeps it).
  void New();
  void Clear();
  // Offers, once, a recording that a previous run left unsaved.
  void OfferRecovery();

  // The journal: recording starts (it takes the text as it is), stops (what
  // is pending is written), time passes, and the window closes (with nothing
  // unsaved the journal has served its purpose).
  void RecordingStarts(uint32_t now);
  void RecordingStops(uint32_t now);
  void OnTimer();
  void Closing();

 private:
  // Writes the text to `path`; false when the user chose not to write
  // characters that the script's code page cannot hold.
  bool Write(const std::string& path);
  // Saved or discarded: nothing is unsaved any more.
  void MarkClean();
  // The text was replaced by `text` (empty for New and Clear).
  void Replaced(std::string_view text);

  IScriptBoxView& box_;
  IDialogView& dialogs_;
  IClock& clock_;
  std::function<bool()> recording_;
  std::function<void(const std::string&)> showName_;
  RecoveryJournal journal_;
  bool modified_ = false;
  bool matchesFile_ = false;
  bool asLoaded_ = false;  // shown for a run: the box holds FileName's text as read, nothing changed since
  bool recoveryOffered_ = false;
};

}  // namespace tesmuro
