// What the main window's logic needs of its window and of the user interface
// around it, split by who uses it: the script's box and the questions put to
// the user serve the script document; the main view adds the window itself.
// The Windows program implements them over real controls and dialogs; tests
// implement them with a fake that records every call.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "image/image.h"
#include "os/desktop.h"
#include "play/run_options.h"
#include "ui/message_box.h"

namespace tesmuro {

namespace setup {
class ISetupDialog;
}


enum class FileDialog { Open /*OpenDlg*/, Save /*SaveDlg*/, OpenPlay /*OpenRDlg*/ };

// Message boxes and file dialogs. Texts and paths are UTF-8.
class IDialogView {
 public:
  virtual ~IDialogView() = default;
  virtual int ShowMessage(std::string_view text, std::string_view caption, unsigned style) = 0;
  // Runs a file dialog; the chosen path, or nothing when cancelled.
  virtual std::optional<std::string> RunFileDialog(FileDialog which) = 0;
};

// The script text box. Its text is GBK bytes.
class IScriptBoxView {
 public:
  virtual ~IScriptBoxView() = default;
  // Line count as the control reports it: wrapped rows count one each, a
  // final empty line does not count.
  virtual int MemoLineCount() = 0;
  // Appends one line; the line gets its CR LF.
  virtual void MemoAppendLine(std::string_view gbk) = 0;
  // The text as GBK bytes; `unencodable`, when given, receives the number of
  // characters that GBK cannot hold (written as '?').
  virtual std::string MemoText(int* unencodable = nullptr) = 0;
  // Replaces the text; false (and the old text kept) when the control cannot
  // take it.
  virtual bool MemoSetText(std::string_view gbk) = 0;
  // The lines with a breakpoint (none where the box has none).
  virtual std::vector<play::LineSpan> MemoBreakpoints() { return {}; }
  // From the caret's line to the end of the text, or the lines the selection
  // touches (byte offsets in MemoText()).
  virtual play::LineSpan MemoCaretLines(bool /*selection*/) { return {}; }
};

// The main window. Texts are UTF-8.
class IMainView : public IDialogView, public IScriptBoxView {
 public:
  virtual void Beep(unsigned frequency, unsigned durationMs) = 0;
  virtual void Sleep(unsigned ms) = 0;
  // Handles every message waiting in the queue, then returns.
  virtual void ProcessMessages() = 0;
  virtual void InstallIdleHandler() = 0;
  virtual void SetCaption(std::string_view text) = 0;
  // A panel's text; its tooltip shows the same until SetStatusTip gives
  // another (the whole of a text the panel shows cut short).
  virtual void SetStatusText(int panel, std::string_view text) = 0;
  virtual void SetStatusTip(int /*panel*/, std::string_view /*text*/) {}
  // The mini window's step counter label.
  virtual void SetStepCounter(std::string_view text) = 0;
  // Closes the main window, which runs FormClose and ends the program.
  virtual void Close() = 0;
  // Hides or shows the main window (without running FormShow).
  virtual void SetMainVisible(bool visible) = 0;
  virtual bool MainVisible() = 0;
  // Shows the mini window modally; returns when it has been closed.
  virtual void ShowMiniModal() = 0;

  // A name kept in the system's ANSI code page (the settings file's), as UTF-8.
  virtual std::string AnsiToUtf8(std::string_view ansi) { return std::string(ansi); }
  // The reverse: a UTF-8 name in the system's ANSI code page.
  virtual std::string Utf8ToAnsi(std::string_view utf8) { return std::string(utf8); }

  // The settings dialog (none where the view has no such dialog).
  virtual setup::ISetupDialog* SetupDialog() { return nullptr; }

  // Asks the system shell to carry out `verb` (empty: its default action) on
  // `file` with `parameters`, window shown normally, owned by the main
  // window. UTF-8. The result is not reported.
  virtual void ShellRequest(std::string_view /*verb*/, std::string_view /*file*/,
                            std::string_view /*parameters*/) {}
  // The same, reporting whether the shell carried it out (false when the
  // user refused, as in the system's elevation prompt).
  virtual bool ShellRequestChecked(std::string_view verb, std::string_view file, std::string_view parameters) {
    ShellRequest(verb, file, parameters);
    return true;
  }
  // The program's own path, UTF-8 (empty when unknown).
  virtual std::string ProgramPath() { return {}; }
  // Shows the About box modally; returns when it has been closed.
  // `settingsFolder`: the folder the settings are kept in, which the box names.
  virtual void ShowAboutModal(std::string_view /*settingsFolder*/) {}
  // What the program is doing, for the mini window (empty: nothing runs).
  virtual void SetMiniState(std::string_view /*utf8*/) {}
  // The exit code the program ends with once its window has closed.
  virtual void SetExitCode(int /*code*/) {}
  // A run of a script the box shows has started: until the run is over,
  // the view marks the line that the playback's BoxLineOffset() names.
  virtual void FollowMemoPlayback() {}

  virtual void SetMouseCapture() = 0;
  virtual void ReleaseMouseCapture() = 0;

  // A picture taken from the screen: where it lies (screen pixels) and its pixels.
  struct CapturedArea {
    DesktopRect area;
    image::Image picture;
  };
  // Freezes the whole screen and lets the user drag a rectangle on it;
  // nothing when the user cancelled.
  virtual std::optional<CapturedArea> CaptureArea() { return std::nullopt; }
  // The Save As dialog for a picture, opened in `folder` with `proposedName`
  // filled in; the full path chosen, or nothing. UTF-8.
  virtual std::optional<std::string> AskPictureFile(std::string_view /*folder*/,
                                                    std::string_view /*proposedName*/) {
    return std::nullopt;
  }
  // The Save As dialog for an exported program, opened in `folder` with
  // `proposedName` filled in; the full path chosen, or nothing. UTF-8.
  virtual std::optional<std::string> AskProgramFile(std::string_view /*folder*/,
                                                    std::string_view /*proposedName*/) {
    return std::nullopt;
  }
  // Puts a line into the script box at the caret, as one step to undo.
  virtual void InsertLineAtCaret(std::string_view /*gbk*/) {}
};

}  // namespace tesmuro
