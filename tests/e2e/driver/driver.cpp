// tesmuro_driver.exe: drives the windows of a program under test from the command line.
// One subcommand a run; results go to stdout as UTF-8 lines, explanations to stderr.
// Exit status: 0 done, 1 failed, 2 bad usage, 3 deadline passed.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "winlib.h"

using namespace drv;

namespace {

enum Exit { kDone = 0, kFailed = 1, kUsage = 2, kTimeout = 3 };
constexpr DWORD kDefaultTimeoutMs = 10000;

void write_handle(DWORD which, const std::wstring& line) {
  HANDLE h = GetStdHandle(which);
  if (!h || h == INVALID_HANDLE_VALUE) return;
  DWORD mode, done;
  if (GetConsoleMode(h, &mode)) {
    const std::wstring text = line + L"\r\n";
    WriteConsoleW(h, text.c_str(), static_cast<DWORD>(text.size()), &done, nullptr);
  } else {
    const std::string bytes = narrow(line) + "\n";
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
  }
}
void out(const std::wstring& line) { write_handle(STD_OUTPUT_HANDLE, line); }
int fail(int code, const std::wstring& message) {
  write_handle(STD_ERROR_HANDLE, L"driver: " + message);
  return code;
}

// ---- command line ---------------------------------------------------------------------------

struct Args {
  std::wstring command;
  std::map<std::wstring, std::wstring> options;  // "--name" -> value ("" for flags)
  std::vector<std::wstring> positional;

  bool has(const std::wstring& name) const { return options.count(name) != 0; }
  std::wstring get(const std::wstring& name, const std::wstring& fallback = L"") const {
    auto it = options.find(name);
    return it == options.end() ? fallback : it->second;
  }
};

const wchar_t* const kValueOptions[] = {L"--timeout", L"--hwnd", L"--class", L"--caption", L"--pid", L"--child",
                                        L"--id",      L"--cwd",  L"--press", L"--field",   L"--for", L"--part",
                                        L"--font",    L"--height"};
const wchar_t* const kFlagOptions[] = {L"--visible", L"--ids", L"--mouse", L"--no-wait", L"--wait", L"--tips"};

bool parse_args(int argc, wchar_t** argv, Args& args, std::wstring& error) {
  if (argc < 2) {
    error = L"no command; try: help";
    return false;
  }
  args.command = argv[1];
  bool options_done = false;
  for (int i = 2; i < argc; ++i) {
    const std::wstring a = argv[i];
    if (!options_done && a == L"--") {
      options_done = true;
      continue;
    }
    if (!options_done && a.size() > 2 && a.compare(0, 2, L"--") == 0) {
      bool known = false;
      for (auto* o : kValueOptions) {
        if (a == o) {
          if (i + 1 >= argc) {
            error = a + L" needs a value";
            return false;
          }
          args.options[a] = argv[++i];
          known = true;
        }
      }
      for (auto* o : kFlagOptions) {
        if (a == o) args.options[a] = L"", known = true;
      }
      if (!known) {
        error = L"unknown option " + a;
        return false;
      }
      continue;
    }
    args.positional.push_back(a);
    // After the program path of "start", everything belongs to the program.
    if (args.command == L"start") options_done = true;
  }
  return true;
}

bool number_option(const Args& args, const std::wstring& name, long long fallback, long long& value,
                   std::wstring& error) {
  if (!args.has(name)) {
    value = fallback;
    return true;
  }
  if (!parse_number(args.get(name), value)) {
    error = name + L" wants a number, not " + quoted(args.get(name));
    return false;
  }
  return true;
}

// The top-level window selection and child path given by the options.
struct Target {
  TopSpec top;
  std::vector<ChildStep> path;
  DWORD timeout_ms = kDefaultTimeoutMs;
  std::wstring describe() const {
    return top.describe() + (path.empty() ? L"" : L" child " + describe_path(path));
  }
};

bool parse_target(const Args& args, Target& t, std::wstring& error) {
  long long n;
  if (!number_option(args, L"--timeout", kDefaultTimeoutMs, n, error) || n < 0) {
    if (error.empty()) error = L"--timeout must not be negative";
    return false;
  }
  t.timeout_ms = static_cast<DWORD>(n);
  if (args.has(L"--hwnd")) {
    if (!parse_number(args.get(L"--hwnd"), n)) {
      error = L"--hwnd wants a number";
      return false;
    }
    t.top.hwnd = reinterpret_cast<HWND>(static_cast<UINT_PTR>(n));
  }
  if (args.has(L"--class")) t.top.cls = args.get(L"--class");
  if (args.has(L"--caption")) t.top.caption = args.get(L"--caption");
  if (!number_option(args, L"--pid", 0, n, error)) return false;
  t.top.pid = static_cast<DWORD>(n);
  t.top.visible = args.has(L"--visible");
  if (args.has(L"--child") && !parse_child_path(args.get(L"--child"), t.path, error)) return false;
  if (args.has(L"--id")) {
    if (!parse_number(args.get(L"--id"), n)) {
      error = L"--id wants a number";
      return false;
    }
    t.path.push_back(ChildStep{std::nullopt, static_cast<int>(n), std::nullopt, 0});
  }
  return true;
}

// Waits for the target (top-level window, then the child path) until the deadline.
int resolve(const Target& t, const Deadline& deadline, HWND& hwnd) {
  for (;;) {
    for (HWND top : find_top(t.top)) {
      hwnd = t.path.empty() ? top : find_child(top, t.path);
      if (hwnd) return kDone;
    }
    if (deadline.passed())
      return fail(kTimeout, L"no window matches " + t.describe() + L" within " + std::to_wstring(t.timeout_ms) +
                                L" ms");
    deadline.nap();
  }
}

// Resolves the target for the commands that act on one window.
int target_window(const Args& args, HWND& hwnd, Target& t, bool need_selection = true) {
  std::wstring error;
  if (!parse_target(args, t, error)) return fail(kUsage, error);
  if (need_selection && !t.top.hwnd && !t.top.cls && !t.top.caption && !t.top.pid)
    return fail(kUsage, L"say which window: --hwnd, --class, --caption and/or --pid");
  return resolve(t, Deadline(t.timeout_ms), hwnd);
}

// ---- commands -------------------------------------------------------------------------------

std::wstring exe_folder() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring p(path, n);
  return p.substr(0, p.find_last_of(L"\\/") + 1);
}

std::wstring self_path() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::wstring(path, n);
}

std::wstring window_line(HWND h) {
  return hwnd_text(h) + L" pid=" + std::to_wstring(pid_of(h)) + (IsWindowVisible(h) ? L" visible" : L" hidden") +
         L" class=" + quoted(class_of(h)) + L" caption=" + quoted(caption_of(h));
}

int cmd_list(const Args& args) {
  Target t;
  std::wstring error;
  if (!parse_target(args, t, error)) return fail(kUsage, error);
  for (HWND h : find_top(t.top)) out(window_line(h));
  return kDone;
}

int cmd_wait_window(const Args& args) {
  Target t;
  HWND h;
  if (int rc = target_window(args, h, t)) return rc;
  out(hwnd_text(h));
  return kDone;
}

int cmd_count(const Args& args) {
  Target t;
  std::wstring error;
  if (!parse_target(args, t, error)) return fail(kUsage, error);
  out(std::to_wstring(find_top(t.top).size()));
  return kDone;
}

int cmd_wait_gone(const Args& args) {
  Target t;
  std::wstring error;
  if (!parse_target(args, t, error)) return fail(kUsage, error);
  if (!wait_no_top(t.top, Deadline(t.timeout_ms)))
    return fail(kTimeout, L"still there after " + std::to_wstring(t.timeout_ms) + L" ms: " + t.top.describe());
  return kDone;
}

int cmd_absent(const Args& args) {
  Target t;
  std::wstring error;
  long long span;
  if (!parse_target(args, t, error) || !number_option(args, L"--for", 0, span, error)) return fail(kUsage, error);
  const Deadline deadline(static_cast<DWORD>(span));
  for (;;) {
    const auto found = find_top(t.top);
    if (!found.empty()) {
      for (HWND h : found) out(window_line(h));
      return fail(kFailed, L"a window matches " + t.top.describe());
    }
    if (deadline.passed()) return kDone;
    deadline.nap();
  }
}

bool focused(HWND h) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  const DWORD thread = GetWindowThreadProcessId(h, nullptr);
  return GetGUIThreadInfo(thread, &info) && info.hwndFocus == h && info.hwndActive &&
         GetForegroundWindow() == info.hwndActive;
}

int cmd_info(const Args& args) {
  Target t;
  HWND h;
  if (int rc = target_window(args, h, t)) return rc;
  RECT client{}, window{};
  GetClientRect(h, &client);
  GetWindowRect(h, &window);
  std::wstring text;
  get_text(h, text, 2000);
  const std::vector<std::pair<std::wstring, std::wstring>> fields = {
      {L"hwnd", hwnd_text(h)},
      {L"pid", std::to_wstring(pid_of(h))},
      {L"class", class_of(h)},
      {L"caption", caption_of(h)},
      {L"text", text},
      {L"id", std::to_wstring(GetDlgCtrlID(h))},
      {L"visible", IsWindowVisible(h) ? L"1" : L"0"},
      {L"enabled", IsWindowEnabled(h) ? L"1" : L"0"},
      // The process whose window is in front (whichever window that is; 0: none).
      {L"foreground-pid", GetForegroundWindow() ? std::to_wstring(pid_of(GetForegroundWindow())) : L"0"},
      // The window has the keyboard focus of its thread, and that thread's window is in front.
      {L"focused", focused(h) ? L"1" : L"0"},
      {L"front", GetForegroundWindow() == h ? L"1" : L"0"},  // the window in front itself
      {L"client", std::to_wstring(client.right - client.left) + L"x" + std::to_wstring(client.bottom - client.top)},
      {L"window", std::to_wstring(window.right - window.left) + L"x" + std::to_wstring(window.bottom - window.top) +
                      L"+" + std::to_wstring(window.left) + L"+" + std::to_wstring(window.top)},
      {L"style", hwnd_text(reinterpret_cast<HWND>(static_cast<UINT_PTR>(GetWindowLongW(h, GWL_STYLE))))},
      {L"exstyle", hwnd_text(reinterpret_cast<HWND>(static_cast<UINT_PTR>(GetWindowLongW(h, GWL_EXSTYLE))))},
  };
  const std::wstring only = args.get(L"--field");
  for (const auto& [name, value] : fields) {
    if (only.empty()) out(name + L"=" + value);
    else if (only == name) { out(value); return kDone; }
  }
  return only.empty() ? kDone : fail(kUsage, L"no field " + quoted(only));
}

int cmd_tree(const Args& args) {
  Target t;
  HWND root;
  if (int rc = target_window(args, root, t)) return rc;
  out(window_line(root));
  std::function<void(HWND, int)> walk = [&](HWND parent, int depth) {
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
      RECT r{};
      GetWindowRect(c, &r);
      MapWindowPoints(HWND_DESKTOP, root, reinterpret_cast<POINT*>(&r), 2);
      std::wstring text;
      get_text(c, text, 2000);
      if (text.size() > 60) text = text.substr(0, 60) + L"...";
      out(std::wstring(depth * 2, L' ') + hwnd_text(c) + L" " + class_of(c) + L"@" + std::to_wstring(GetDlgCtrlID(c)) +
          L" " + std::to_wstring(r.left) + L"," + std::to_wstring(r.top) + L" " + std::to_wstring(r.right - r.left) +
          L"x" + std::to_wstring(r.bottom - r.top) + (IsWindowVisible(c) ? L"" : L" hidden") + L" " + quoted(text));
      walk(c, depth + 1);
    }
  };
  walk(root, 1);
  return kDone;
}

int cmd_get_text(const Args& args) {
  Target t;
  HWND h;
  if (int rc = target_window(args, h, t)) return rc;
  std::wstring text;
  if (!get_text(h, text, t.timeout_ms)) return fail(kFailed, L"WM_GETTEXT got no answer from " + hwnd_text(h));
  // Keep the text as it is, CR LF included; a shell reader strips the final newline.
  out(text);
  return kDone;
}

int cmd_set_text(const Args& args) {
  if (args.positional.size() != 1) return fail(kUsage, L"set-text wants the text");
  Target t;
  HWND h;
  if (int rc = target_window(args, h, t)) return rc;
  if (!set_text(h, args.positional[0], t.timeout_ms)) return fail(kFailed, L"WM_SETTEXT failed on " + hwnd_text(h));
  return kDone;
}

int cmd_click(const Args& args) {
  Target t;
  HWND h;
  if (int rc = target_window(args, h, t)) return rc;
  bool ok;
  if (!args.has(L"--mouse") && lower(class_of(h)) == L"button") {
    ok = post_click(h);
  } else {
    RECT r{};
    GetClientRect(h, &r);
    ok = post_mouse_click(h, POINT{(r.right - r.left) / 2, (r.bottom - r.top) / 2});
  }
  return ok ? kDone : fail(kFailed, L"PostMessage failed on " + hwnd_text(h));
}

int cmd_click_at(const Args& args) {
  long long x, y;
  if (args.positional.size() != 2 || !parse_number(args.positional[0], x) || !parse_number(args.positional[1], y))
    return fail(kUsage, L"click-at wants X Y in the window's client coordinates");
  Target t;
  HWND h;
  if (int rc = target_window(args, h, t)) return rc;
  POINT at;
  HWND under = child_at(h, POINT{static_cast<LONG>(x), static_cast<LONG>(y)}, at);
  if (!post_mouse_click(under, at)) return fail(kFailed, L"PostMessage failed on " + hwnd_text(under));
  out(hwnd_text(under));
  return kDone;
}

int cmd_post(const Args& args, bool send) {
  long long msg, wp = 0, lp = 0;
  if (args.positional.empty() || !parse_number(args.positional[0], msg) ||
      (args.positional.size() > 1 && !parse_number(args.positional[1], wp)) ||
      (args.positional.size() > 2 && !parse_number(args.positional[2], lp)))
    return fail(kUsage, L"post/send want MESSAGE [WPARAM [LPARAM]] as numbers");
  Target t;
  HWND h;
  if (int rc = target_window(args, h, t)) return rc;
  if (send) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(h, static_cast<UINT>(msg), static_cast<WPARAM>(wp), static_cast<LPARAM>(lp),
                             SMTO_ABORTIFHUNG, t.timeout_ms, &result))
      return fail(kTimeout, L"no answer to the message within the deadline");
    out(std::to_wstring(static_cast<long long>(static_cast<LONG_PTR>(result))));
    return kDone;
  }
  return PostMessageW(h, static_cast<UINT>(msg), static_cast<WPARAM>(wp), static_cast<LPARAM>(lp))
             ? kDone
             : fail(kFailed, L"PostMessage failed");
}

int cmd_close(const Args& args) {
  Target t;
  HWND h;
  if (int rc = target_window(args, h, t)) return rc;
  return PostMessageW(h, WM_CLOSE, 0, 0) ? kDone : fail(kFailed, L"PostMessage failed");
}

int cmd_syscommand(const Args& args) {
  static const std::map<std::wstring, WPARAM> kCommands = {
      {L"close", SC_CLOSE}, {L"minimize", SC_MINIMIZE}, {L"maximize", SC_MAXIMIZE}, {L"restore", SC_RESTORE}};
  if (args.positional.size() != 1 || !kCommands.count(args.positional[0]))
    return fail(kUsage, L"syscommand wants close, minimize, maximize or restore");
  Target t;
  HWND h;
  if (int rc = target_window(args, h, t)) return rc;
  return PostMessageW(h, WM_SYSCOMMAND, kCommands.at(args.positional[0]), 0) ? kDone
                                                                            : fail(kFailed, L"PostMessage failed");
}

// Screen point in the middle of a part of the window's frame, found with WM_NCHITTEST, for
// physical clicks (xdotool): first the caption row, then the part's run along that row.
int cmd_nc_point(const Args& args) {
  static const std::map<std::wstring, LRESULT> kParts = {{L"close", HTCLOSE},     {L"minimize", HTMINBUTTON},
                                                         {L"maximize", HTMAXBUTTON}, {L"caption", HTCAPTION},
                                                         {L"sysmenu", HTSYSMENU},   {L"menu", HTMENU}};
  if (args.positional.size() != 1 || !kParts.count(args.positional[0]))
    return fail(kUsage, L"nc-point wants close, minimize, maximize, caption, sysmenu or menu");
  const LRESULT want = kParts.at(args.positional[0]);
  Target t;
  HWND h;
  if (int rc = target_window(args, h, t)) return rc;
  const Deadline deadline(t.timeout_ms);
  auto hit = [&](LONG x, LONG y) -> LRESULT {
    DWORD_PTR r = HTNOWHERE;
    SendMessageTimeoutW(h, WM_NCHITTEST, 0, MAKELPARAM(x, y), SMTO_ABORTIFHUNG, deadline.remaining(), &r);
    return static_cast<LRESULT>(r);
  };
  RECT r{};
  GetWindowRect(h, &r);
  const LONG cx = (r.left + r.right) / 2;
  for (LONG y = r.top; y < r.bottom && y < r.top + 80 && !deadline.passed(); ++y) {
    const LRESULT row = hit(cx, y);
    if (row != HTCAPTION && row != want) continue;
    LONG first = -1, last = -1;
    for (LONG x = r.right - 1; x >= r.left && !deadline.passed(); --x) {
      if (hit(x, y) == want) {
        if (last < 0) last = x;
        first = x;
      } else if (last >= 0) {
        break;
      }
    }
    if (last < 0) continue;
    // The middle of the run, and the middle of the part's height at that x.
    const LONG x = (first + last) / 2;
    LONG top = y, bottom = y;
    while (top > r.top && hit(x, top - 1) == want) --top;
    while (bottom < r.bottom - 1 && hit(x, bottom + 1) == want) ++bottom;
    out(std::to_wstring(x) + L" " + std::to_wstring((top + bottom) / 2));
    return kDone;
  }
  return fail(deadline.passed() ? kTimeout : kFailed, L"no " + args.positional[0] + L" part on " + hwnd_text(h));
}

int load_menu(const Args& args, HWND& h, std::vector<MenuItem>& items) {
  Target t;
  if (int rc = target_window(args, h, t)) return rc;
  std::wstring error;
  const Deadline deadline(t.timeout_ms);
  if (!read_menu(h, exe_folder() + L"tesmuro_probe.dll", deadline, items, error))
    return fail(deadline.passed() ? kTimeout : kFailed, L"cannot read the menu of " + hwnd_text(h) + L": " + error);
  return kDone;
}

int cmd_menu(const Args& args) {
  HWND h;
  std::vector<MenuItem> items;
  if (int rc = load_menu(args, h, items)) return rc;
  const bool ids = args.has(L"--ids");
  for (const auto& item : items) {
    std::wstring line(item.depth * 2, L' ');
    line += item.separator ? L"-" : item.caption;
    if (ids) {
      if (!item.popup && !item.separator) line += L"\t#" + std::to_wstring(item.id);
      if (item.disabled && !item.separator) line += L"\tdisabled";
      if (item.checked) line += L"\tchecked";
    }
    out(line);
  }
  return kDone;
}

int cmd_menu_invoke(const Args& args) {
  if (args.positional.empty()) return fail(kUsage, L"menu-invoke wants the captions, one per level");
  HWND h;
  std::vector<MenuItem> items;
  if (int rc = load_menu(args, h, items)) return rc;
  std::wstring path;
  for (const auto& p : args.positional) path += (path.empty() ? L"" : L" > ") + p;
  const int index = find_menu_path(items, args.positional);
  if (index < 0) return fail(kFailed, L"no menu item " + quoted(path));
  const MenuItem& item = items[static_cast<size_t>(index)];
  if (item.popup) return fail(kFailed, quoted(path) + L" opens a submenu; name an item in it");
  if (item.disabled) return fail(kFailed, quoted(path) + L" is disabled");
  // Posted: the command may open a modal dialog.
  if (!PostMessageW(h, WM_COMMAND, MAKEWPARAM(item.id, 0), 0)) return fail(kFailed, L"PostMessage failed");
  out(std::to_wstring(item.id));
  return kDone;
}

// The width of `text` in the font FACE of HEIGHT pixels (as CreateFont takes it), measured here:
// a font handle of another process cannot be used.
struct Measure {
  HDC dc = CreateCompatibleDC(nullptr);
  HFONT font;
  HGDIOBJ old;
  Measure(const std::wstring& face, int height)
      : font(CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                         CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face.c_str())),
        old(SelectObject(dc, font)) {}
  ~Measure() {
    SelectObject(dc, old);
    DeleteObject(font);
    DeleteDC(dc);
  }
  int Width(const std::wstring& text) const {
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    return size.cx;
  }
};

// fits --font FACE --height PX: every visible label, check box, radio button and push button with a
// text inside the window (the window's own status bar: every panel) whose text is wider than its
// control, or whose control reaches past the window's client area, one line each; 1 when any.
int cmd_fits(const Args& args) {
  long long height = 0;
  if (!args.has(L"--font") || !parse_number(args.get(L"--height"), height))
    return fail(kUsage, L"fits wants --font FACE --height PX");
  Target t;
  HWND top;
  if (int rc = target_window(args, top, t)) return rc;
  const Measure m(args.get(L"--font"), static_cast<int>(height));
  std::vector<std::wstring> bad;
  int looked = 0;
  if (lower(class_of(top)) == lower(STATUSCLASSNAMEW)) {
    std::vector<std::wstring> parts, tips;
    std::vector<int> widths;
    std::wstring error;
    const Deadline deadline(t.timeout_ms);
    if (!read_status_parts(top, deadline, parts, error) || !read_status_layout(top, deadline, widths, tips, error))
      return fail(kFailed, L"status bar: " + error);
    for (size_t i = 0; i < parts.size(); ++i, ++looked) {
      // The panel's frame and the space before the text take a few pixels.
      const int need = m.Width(parts[i]) + 6;
      if (need > widths[i])
        bad.push_back(L"panel " + std::to_wstring(i) + L" " + quoted(parts[i]) + L" needs " + std::to_wstring(need) +
                      L", has " + std::to_wstring(widths[i]));
    }
  } else {
    RECT client{};
    GetClientRect(top, &client);
    MapWindowPoints(top, nullptr, reinterpret_cast<POINT*>(&client), 2);
    std::vector<HWND> children;
    struct Collect {
      static BOOL CALLBACK Add(HWND h, LPARAM p) {
        reinterpret_cast<std::vector<HWND>*>(p)->push_back(h);
        return TRUE;
      }
    };
    EnumChildWindows(top, &Collect::Add, reinterpret_cast<LPARAM>(&children));
    const int box = GetSystemMetrics(SM_CXMENUCHECK) + 4;  // a check box's square and the gap after it
    for (HWND h : children) {
      if (!IsWindowVisible(h)) continue;
      const std::wstring cls = lower(class_of(h));
      const LONG style = GetWindowLongW(h, GWL_STYLE);
      const LONG type = style & BS_TYPEMASK;
      if (cls != L"static" && cls != L"button") continue;
      if (cls == L"button" && (type == BS_GROUPBOX || (style & (BS_BITMAP | BS_ICON)))) continue;
      std::wstring text;
      if (!get_text(h, text, t.timeout_ms) || text.empty()) continue;
      ++looked;
      RECT r{};
      GetWindowRect(h, &r);
      const bool check = cls == L"button" && (type == BS_AUTOCHECKBOX || type == BS_CHECKBOX ||
                                              type == BS_AUTORADIOBUTTON || type == BS_RADIOBUTTON);
      const int need = m.Width(text) + (check ? box : 0);
      const std::wstring name = std::to_wstring(GetDlgCtrlID(h)) + L" " + quoted(text);
      if (need > r.right - r.left)
        bad.push_back(name + L" needs " + std::to_wstring(need) + L", has " + std::to_wstring(r.right - r.left));
      if (r.right > client.right || r.bottom > client.bottom)
        bad.push_back(name + L" reaches past the window: right " + std::to_wstring(r.right - client.left) +
                      L" of " + std::to_wstring(client.right - client.left));
    }
  }
  for (const auto& b : bad) out(b);
  if (!bad.empty()) return kFailed;
  out(L"fits " + std::to_wstring(looked));
  return kDone;
}

int cmd_status(const Args& args) {
  Args a = args;
  if (!a.has(L"--child") && !a.has(L"--id")) a.options[L"--child"] = STATUSCLASSNAMEW;
  Target t;
  HWND h;
  if (int rc = target_window(a, h, t)) return rc;
  std::vector<std::wstring> parts;
  std::wstring error;
  const Deadline deadline(t.timeout_ms);
  if (!read_status_parts(h, deadline, parts, error)) return fail(kFailed, L"status bar " + hwnd_text(h) + L": " + error);
  if (args.has(L"--tips")) {
    std::vector<int> widths;
    if (!read_status_layout(h, deadline, widths, parts, error))
      return fail(kFailed, L"status bar " + hwnd_text(h) + L": " + error);
  }
  if (args.has(L"--part")) {
    long long n;
    if (!parse_number(args.get(L"--part"), n) || n < 0) return fail(kUsage, L"--part wants a panel number");
    if (static_cast<size_t>(n) >= parts.size())
      return fail(kFailed, L"the status bar has " + std::to_wstring(parts.size()) + L" panels");
    out(parts[static_cast<size_t>(n)]);
    return kDone;
  }
  for (const auto& p : parts) out(p);
  return kDone;
}

// Waits for a visible dialog of the kind `is_kind` (optionally of one process).
int wait_dialog(const Args& args, bool (*is_kind)(HWND), const wchar_t* what, HWND& dialog, Target& t) {
  std::wstring error;
  if (!parse_target(args, t, error)) return fail(kUsage, error);
  t.top.cls = L"#32770";
  t.top.visible = true;
  const Deadline deadline(t.timeout_ms);
  for (;;) {
    for (HWND h : find_top(t.top)) {
      if (is_kind(h)) {
        dialog = h;
        return kDone;
      }
    }
    if (deadline.passed())
      return fail(kTimeout, std::wstring(L"no ") + what + L" (" + t.top.describe() + L") within " +
                                std::to_wstring(t.timeout_ms) + L" ms");
    deadline.nap();
  }
}

int press_and_wait(HWND dialog, int id, const Target& t, bool wait) {
  HWND button = GetDlgItem(dialog, id);
  if (!button) {
    std::wstring have;
    for (const auto& b : buttons_of(dialog)) have += L" " + std::to_wstring(b.id) + L"=" + quoted(b.text);
    return fail(kFailed, L"the dialog has no button " + std::to_wstring(id) + L"; it has:" + have);
  }
  if (!post_click(button)) return fail(kFailed, L"PostMessage failed");
  if (!wait) return kDone;
  const Deadline deadline(t.timeout_ms);
  while (IsWindow(dialog) && IsWindowVisible(dialog)) {
    if (deadline.passed()) return fail(kTimeout, L"the dialog is still open after the click");
    deadline.nap();
  }
  return kDone;
}

int cmd_msgbox(const Args& args) {
  HWND box;
  Target t;
  if (int rc = wait_dialog(args, is_message_box, L"message box", box, t)) return rc;
  std::wstring text;
  get_text(GetDlgItem(box, kMessageBoxTextId), text, t.timeout_ms);
  out(caption_of(box));
  out(text);
  if (args.has(L"--press")) {
    const int id = button_id(args.get(L"--press"));
    if (id < 0) return fail(kUsage, L"unknown button " + quoted(args.get(L"--press")));
    return press_and_wait(box, id, t, !args.has(L"--no-wait"));
  }
  return kDone;
}

int cmd_buttons(const Args& args) {
  HWND box;
  Target t;
  if (int rc = wait_dialog(args, is_dialog, L"dialog", box, t)) return rc;
  for (const auto& b : buttons_of(box)) out(std::to_wstring(b.id) + L"\t" + b.text);
  return kDone;
}

int cmd_file_dialog(const Args& args) {
  if (args.positional.size() != 1) return fail(kUsage, L"file-dialog wants the file name");
  HWND dialog;
  Target t;
  if (int rc = wait_dialog(args, is_file_dialog, L"file dialog", dialog, t)) return rc;
  HWND name_box = find_child(dialog, {ChildStep{std::nullopt, kFileNameBoxId, std::nullopt, 0}});
  if (!set_text(name_box, args.positional[0], t.timeout_ms)) return fail(kFailed, L"cannot set the file name");
  out(caption_of(dialog));
  return press_and_wait(dialog, IDOK, t, !args.has(L"--no-wait"));
}

int cmd_start(const Args& args) {
  if (args.positional.empty()) return fail(kUsage, L"start wants the program's path");
  const std::vector<std::wstring> rest(args.positional.begin() + 1, args.positional.end());
  DWORD pid = 0;
  std::wstring error;
  if (!start_process(args.positional[0], rest, args.get(L"--cwd"), self_path(), pid, error))
    return fail(kFailed, error);
  out(std::to_wstring(pid));
  return kDone;
}

// Opens a file with a verb of its type through the shell, as a double click or
// the file's context menu does.
int cmd_shell(const Args& args) {
  if (args.positional.size() != 2) return fail(kUsage, L"shell wants VERB FILE");
  long long timeout = kDefaultTimeoutMs;
  if (args.has(L"--timeout") && !parse_number(args.get(L"--timeout"), timeout)) return fail(kUsage, L"bad --timeout");
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
  info.lpVerb = args.positional[0].c_str();
  info.lpFile = args.positional[1].c_str();
  info.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExW(&info) || !info.hProcess)
    return fail(kFailed, L"the shell started nothing for " + quoted(args.positional[1]));
  int result = kDone;
  if (!args.has(L"--wait")) {
    out(std::to_wstring(GetProcessId(info.hProcess)));
  } else if (WaitForSingleObject(info.hProcess, static_cast<DWORD>(timeout)) != WAIT_OBJECT_0) {
    result = fail(kTimeout, L"the program did not end in time");
  } else {
    DWORD code = 0;
    GetExitCodeProcess(info.hProcess, &code);
    out(std::to_wstring(code));
  }
  CloseHandle(info.hProcess);
  return result;
}

bool pid_arg(const Args& args, DWORD& pid) {
  long long n;
  if (args.positional.empty() || !parse_number(args.positional[0], n) || n <= 0) return false;
  pid = static_cast<DWORD>(n);
  return true;
}

int cmd_wait_exit(const Args& args) {
  DWORD pid;
  long long timeout = kDefaultTimeoutMs;
  if (!pid_arg(args, pid) || (args.positional.size() > 1 && !parse_number(args.positional[1], timeout)) ||
      timeout < 0)
    return fail(kUsage, L"wait-exit wants PID [TIMEOUT_MS]");
  DWORD code = 0;
  std::wstring error;
  switch (wait_exit(pid, Deadline(static_cast<DWORD>(timeout)), code, error)) {
    case WaitResult::kExited: out(std::to_wstring(code)); return kDone;
    case WaitResult::kTimeout:
      return fail(kTimeout, L"process " + std::to_wstring(pid) + L" still runs after " + std::to_wstring(timeout) +
                                L" ms");
    default: return fail(kFailed, error);
  }
}

int cmd_alive(const Args& args) {
  DWORD pid;
  if (!pid_arg(args, pid)) return fail(kUsage, L"alive wants PID");
  const bool alive = process_alive(pid);
  out(alive ? L"1" : L"0");
  return alive ? kDone : kFailed;
}

int cmd_kill(const Args& args) {
  DWORD pid;
  if (!pid_arg(args, pid)) return fail(kUsage, L"kill wants PID");
  Target t;
  std::wstring error;
  if (!parse_target(args, t, error)) return fail(kUsage, error);
  if (!terminate(pid, 1, Deadline(t.timeout_ms), error)) return fail(kFailed, error);
  return kDone;
}

int cmd_hold(const Args& args) {
  long long handle, pid;
  if (args.positional.size() != 2 || !parse_number(args.positional[0], handle) ||
      !parse_number(args.positional[1], pid))
    return fail(kUsage, L"hold is started by start");
  constexpr DWORD kHoldLimitMs = 4 * 60 * 60 * 1000;
  return keep_process(reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(handle)), static_cast<DWORD>(pid), kHoldLimitMs);
}

const wchar_t kHelp[] =
    L"tesmuro_driver COMMAND [OPTIONS] [ARGS]\n"
    L"Window selection: --hwnd H | --class C | --caption T | --pid P [--visible]; --child PATH or --id N\n"
    L"  for a descendant (PATH: Step/Step, a step CLASS[@ID][~TEXT][[INDEX]]). --timeout MS (10000)\n"
    L"  bounds every wait; window commands wait for their window until then.\n"
    L"  list                      top-level windows (filtered by the selection)\n"
    L"  wait-window               wait for the window, print its handle\n"
    L"  count | wait-gone | absent --for MS\n"
    L"  info [--field F]          hwnd pid class caption text id visible enabled foreground-pid focused front\n"
    L"                            client window style\n"
    L"  tree                      the window and its descendants\n"
    L"  get-text | set-text TEXT  WM_GETTEXT / WM_SETTEXT\n"
    L"  click [--mouse]           BM_CLICK to a button, else a posted left click in the middle\n"
    L"  click-at X Y              posted left click at a client point (deepest child there)\n"
    L"  post|send MSG [WP [LP]]   post, or send with the deadline, a message\n"
    L"  close | syscommand close|minimize|maximize|restore\n"
    L"  nc-point PART             screen X Y of a frame part (close, minimize, maximize, caption,\n"
    L"                            sysmenu, menu), for a physical click\n"
    L"  menu [--ids]              the menu bar, one item a line, indented by level\n"
    L"  menu-invoke CAPTION...    post WM_COMMAND of the item at this caption path\n"
    L"  status [--part N] [--tips] status bar panel texts, or their tooltips (first status bar of the window)\n"
    L"  fits --font F --height PX  labels and buttons (or status panels) whose text is wider than they are\n"
    L"  msgbox [--press BUTTON] [--no-wait]   wait for a message box, print caption and text\n"
    L"  buttons                   the push buttons of a dialog: id TAB text\n"
    L"  file-dialog NAME [--no-wait]          type NAME into a file dialog and press its OK button\n"
    L"  start [--cwd DIR] EXE [ARGS...]       start a program, print its pid\n"
    L"  wait-exit PID [TIMEOUT_MS]            print the exit code\n"
    L"  shell [--wait] VERB FILE  open FILE with VERB of its type; print the pid, or (--wait) the\n"
    L"                            exit code of the program it started\n"
    L"  alive PID | kill PID\n"
    L"Exit status: 0 done, 1 failed, 2 usage, 3 deadline passed.";

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Args args;
  std::wstring error;
  if (!parse_args(argc, argv, args, error)) return fail(kUsage, error);
  static const std::map<std::wstring, std::function<int(const Args&)>> kCommands = {
      {L"list", cmd_list},
      {L"wait-window", cmd_wait_window},
      {L"count", cmd_count},
      {L"wait-gone", cmd_wait_gone},
      {L"absent", cmd_absent},
      {L"info", cmd_info},
      {L"tree", cmd_tree},
      {L"get-text", cmd_get_text},
      {L"set-text", cmd_set_text},
      {L"click", cmd_click},
      {L"click-at", cmd_click_at},
      {L"post", [](const Args& a) { return cmd_post(a, false); }},
      {L"send", [](const Args& a) { return cmd_post(a, true); }},
      {L"close", cmd_close},
      {L"syscommand", cmd_syscommand},
      {L"nc-point", cmd_nc_point},
      {L"menu", cmd_menu},
      {L"menu-invoke", cmd_menu_invoke},
      {L"status", cmd_status},
      {L"fits", cmd_fits},
      {L"msgbox", cmd_msgbox},
      {L"buttons", cmd_buttons},
      {L"file-dialog", cmd_file_dialog},
      {L"start", cmd_start},
      {L"shell", cmd_shell},
      {L"wait-exit", cmd_wait_exit},
      {L"alive", cmd_alive},
      {L"kill", cmd_kill},
      {L"hold", cmd_hold},
      {L"help", [](const Args&) { out(kHelp); return static_cast<int>(kDone); }},
  };
  auto it = kCommands.find(args.command);
  if (it == kCommands.end()) return fail(kUsage, L"unknown command " + quoted(args.command) + L"; try: help");
  return it->second(args);
}
