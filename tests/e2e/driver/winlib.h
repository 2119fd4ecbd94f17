// A small library for driving the windows of another process: finding windows with a deadline,
// reading and setting texts, menus, status bars, message boxes and file dialogs, and starting and
// waiting for processes. Everything that can block has a deadline; anything that may open a modal
// dialog in the target is posted, never sent.
#pragma once
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace drv {

// ---- time -----------------------------------------------------------------------------------

constexpr DWORD kPollMs = 20;

class Deadline {
 public:
  explicit Deadline(DWORD ms) : end_(GetTickCount64() + ms) {}
  bool passed() const { return GetTickCount64() >= end_; }
  DWORD remaining() const {
    const ULONGLONG now = GetTickCount64();
    return now >= end_ ? 0 : static_cast<DWORD>(end_ - now);
  }
  // Sleeps one poll interval, or less if the deadline is closer.
  void nap() const { Sleep(remaining() < kPollMs ? remaining() : kPollMs); }

 private:
  ULONGLONG end_;
};

// ---- text -----------------------------------------------------------------------------------

std::wstring widen(const std::string& utf8);
std::string narrow(const std::wstring& text);
std::wstring lower(std::wstring s);
// Parses decimal or 0x-prefixed hexadecimal; false on anything else.
bool parse_number(const std::wstring& s, long long& out);
std::wstring hwnd_text(HWND hwnd);  // "0x0001002A"
std::wstring quoted(const std::wstring& s);  // for messages: "text" with controls escaped

// ---- windows --------------------------------------------------------------------------------

std::wstring class_of(HWND hwnd);
std::wstring caption_of(HWND hwnd);  // GetWindowTextW: the caption without sending a message
DWORD pid_of(HWND hwnd);

// Selects top-level windows. Unset fields match anything.
struct TopSpec {
  HWND hwnd = nullptr;
  std::optional<std::wstring> cls;      // class name, case-insensitive
  std::optional<std::wstring> caption;  // exact caption
  DWORD pid = 0;
  bool visible = false;                 // visible windows only
  std::wstring describe() const;
};

// One step of a child path: a descendant (any depth) with this class, id and text; the index-th
// such descendant in Z order, depth first.
struct ChildStep {
  std::optional<std::wstring> cls;
  std::optional<int> id;
  std::optional<std::wstring> text;
  int index = 0;
};

// Parses "Step/Step/...", a step being [CLASS][@ID][~TEXT][[INDEX]], e.g. "Edit", "@0x47c",
// "Button~OK", "msctls_statusbar32[1]". Returns false and an explanation on a malformed path.
bool parse_child_path(const std::wstring& path, std::vector<ChildStep>& steps, std::wstring& error);
std::wstring describe_path(const std::vector<ChildStep>& steps);

std::vector<HWND> find_top(const TopSpec& want);
// The first window matching want, polled every kPollMs until the deadline; nullptr at the deadline.
HWND wait_top(const TopSpec& want, const Deadline& deadline);
// Waits until no window matches; false at the deadline.
bool wait_no_top(const TopSpec& want, const Deadline& deadline);

HWND find_child(HWND root, const std::vector<ChildStep>& path);
std::vector<HWND> descendants(HWND root);  // depth first, in Z order

// WM_GETTEXT / WM_SETTEXT through SendMessageTimeout (the system marshals the text).
bool get_text(HWND hwnd, std::wstring& out, DWORD timeout_ms);
bool set_text(HWND hwnd, const std::wstring& text, DWORD timeout_ms);

// ---- message boxes and dialogs --------------------------------------------------------------

constexpr int kMessageBoxTextId = 0xFFFF;
constexpr int kFileNameBoxId = 0x47C;

bool is_dialog(HWND hwnd);       // class #32770
bool is_message_box(HWND hwnd);  // a dialog with the message text static
bool is_file_dialog(HWND hwnd);  // a dialog with the file name box

struct Button {
  HWND hwnd;
  int id;
  std::wstring text;
};
std::vector<Button> buttons_of(HWND dialog);

// Maps "ok", "cancel", "abort", "retry", "ignore", "yes", "no", "close", "help", "tryagain",
// "continue" or a number to a control id; -1 if unknown.
int button_id(const std::wstring& name);

// Posts BM_CLICK to a button (the button's own handler sends the notification).
bool post_click(HWND button);
// Posts WM_LBUTTONDOWN and WM_LBUTTONUP at a client point of the window.
bool post_mouse_click(HWND hwnd, POINT client);
// The deepest visible descendant of hwnd under the client point, and the point in its client
// coordinates.
HWND child_at(HWND hwnd, POINT client, POINT& child_point);

// ---- menus ----------------------------------------------------------------------------------

struct MenuItem {
  int depth = 0;
  UINT id = 0;
  bool popup = false;
  bool separator = false;
  bool disabled = false;
  bool checked = false;
  std::wstring caption;
};

// Reads the menu bar of a top-level window, directly when the system allows it, otherwise by
// loading the probe library (probe_path) into the window's process for the duration of the read.
bool read_menu(HWND hwnd, const std::wstring& probe_path, const Deadline& deadline,
               std::vector<MenuItem>& items, std::wstring& error);
bool parse_menu_text(const std::wstring& text, std::vector<MenuItem>& items);
// Caption match: exact, or equal once '&' markers and any "\t..." accelerator text are removed
// (from the caption, or from both).
bool caption_matches(const std::wstring& caption, const std::wstring& wanted);
// The item at a caption path (one caption per level); -1 if none.
int find_menu_path(const std::vector<MenuItem>& items, const std::vector<std::wstring>& path);

// ---- status bars (common control: needs a buffer in the target process) ----------------------

bool read_status_parts(HWND status_bar, const Deadline& deadline, std::vector<std::wstring>& parts,
                       std::wstring& error);
// Each panel's width in pixels (SB_GETRECT) and tooltip text (SB_GETTIPTEXTW).
bool read_status_layout(HWND status_bar, const Deadline& deadline, std::vector<int>& widths,
                        std::vector<std::wstring>& tips, std::wstring& error);

// ---- processes ------------------------------------------------------------------------------

// Starts exe (suspended), hands a handle to a detached keeper process that records the exit code
// in the state folder, then resumes it. keeper_exe is this driver.
bool start_process(const std::wstring& exe, const std::vector<std::wstring>& args,
                   const std::wstring& cwd, const std::wstring& keeper_exe, DWORD& pid,
                   std::wstring& error);
// The keeper's body: waits for the process (up to limit_ms) and records its exit code.
int keep_process(HANDLE process, DWORD pid, DWORD limit_ms);

enum class WaitResult { kExited, kTimeout, kError };
WaitResult wait_exit(DWORD pid, const Deadline& deadline, DWORD& exit_code, std::wstring& error);
bool process_alive(DWORD pid);
bool terminate(DWORD pid, UINT code, const Deadline& deadline, std::wstring& error);

std::wstring state_folder();  // %TEMP%\tesmuro-driver
std::wstring quote_arg(const std::wstring& arg);  // the quoting CommandLineToArgvW undoes

}  // namespace drv
