#include "winlib.h"

#include <commctrl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cwctype>
#include <memory>

#include "menu_walk.h"
#include "probe_protocol.h"

namespace drv {

// ---- text -----------------------------------------------------------------------------------

std::wstring widen(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

std::string narrow(const std::wstring& text) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                    nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring lower(std::wstring s) {
  for (auto& c : s) c = static_cast<wchar_t>(std::towlower(c));
  return s;
}

bool parse_number(const std::wstring& s, long long& out) {
  if (s.empty()) return false;
  size_t i = 0;
  bool negative = false;
  if (s[0] == L'-') { negative = true; i = 1; }
  int base = 10;
  if (s.size() > i + 2 && s[i] == L'0' && (s[i + 1] == L'x' || s[i + 1] == L'X')) { base = 16; i += 2; }
  if (i >= s.size()) return false;
  long long v = 0;
  for (; i < s.size(); ++i) {
    int d;
    const wchar_t c = s[i];
    if (c >= L'0' && c <= L'9') d = c - L'0';
    else if (base == 16 && c >= L'a' && c <= L'f') d = c - L'a' + 10;
    else if (base == 16 && c >= L'A' && c <= L'F') d = c - L'A' + 10;
    else return false;
    v = v * base + d;
    if (v > 0xFFFFFFFFLL) return false;
  }
  out = negative ? -v : v;
  return true;
}

std::wstring hwnd_text(HWND hwnd) {
  wchar_t buf[16];
  wsprintfW(buf, L"0x%08X", static_cast<unsigned>(reinterpret_cast<UINT_PTR>(hwnd)));
  return buf;
}

std::wstring quoted(const std::wstring& s) {
  std::wstring out = L"\"";
  for (wchar_t c : s) {
    if (c == L'\n') out += L"\\n";
    else if (c == L'\r') out += L"\\r";
    else if (c == L'\t') out += L"\\t";
    else if (c == L'"') out += L"\\\"";
    else out += c;
  }
  return out + L"\"";
}

// ---- windows --------------------------------------------------------------------------------

std::wstring class_of(HWND hwnd) {
  wchar_t buf[256];
  const int n = GetClassNameW(hwnd, buf, 256);
  return std::wstring(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

std::wstring caption_of(HWND hwnd) {
  // InternalGetWindowText reads the stored caption and never sends to the (maybe busy) target.
  wchar_t buf[1024];
  const int n = InternalGetWindowText(hwnd, buf, 1024);
  return std::wstring(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

DWORD pid_of(HWND hwnd) {
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  return pid;
}

std::wstring TopSpec::describe() const {
  std::wstring d;
  auto add = [&d](const std::wstring& part) { d += (d.empty() ? L"" : L" ") + part; };
  if (hwnd) add(L"hwnd=" + hwnd_text(hwnd));
  if (cls) add(L"class=" + quoted(*cls));
  if (caption) add(L"caption=" + quoted(*caption));
  if (pid) add(L"pid=" + std::to_wstring(pid));
  if (visible) add(L"visible");
  return d.empty() ? L"any window" : d;
}

static bool top_matches(HWND hwnd, const TopSpec& want) {
  if (want.hwnd && hwnd != want.hwnd) return false;
  if (want.visible && !IsWindowVisible(hwnd)) return false;
  if (want.pid && pid_of(hwnd) != want.pid) return false;
  if (want.cls && lower(class_of(hwnd)) != lower(*want.cls)) return false;
  if (want.caption && caption_of(hwnd) != *want.caption) return false;
  return true;
}

static BOOL CALLBACK collect_top(HWND hwnd, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(hwnd);
  return TRUE;
}

std::vector<HWND> find_top(const TopSpec& want) {
  std::vector<HWND> all;
  if (want.hwnd) {
    if (IsWindow(want.hwnd)) all.push_back(want.hwnd);
  } else {
    EnumWindows(collect_top, reinterpret_cast<LPARAM>(&all));
  }
  std::vector<HWND> out;
  for (HWND h : all)
    if (top_matches(h, want)) out.push_back(h);
  return out;
}

HWND wait_top(const TopSpec& want, const Deadline& deadline) {
  for (;;) {
    const auto found = find_top(want);
    if (!found.empty()) return found.front();
    if (deadline.passed()) return nullptr;
    deadline.nap();
  }
}

bool wait_no_top(const TopSpec& want, const Deadline& deadline) {
  for (;;) {
    if (find_top(want).empty()) return true;
    if (deadline.passed()) return false;
    deadline.nap();
  }
}

bool parse_child_path(const std::wstring& path, std::vector<ChildStep>& steps, std::wstring& error) {
  steps.clear();
  size_t start = 0;
  while (start <= path.size()) {
    size_t slash = path.find(L'/', start);
    if (slash == std::wstring::npos) slash = path.size();
    std::wstring part = path.substr(start, slash - start);
    ChildStep step;
    if (!part.empty() && part.back() == L']') {
      const size_t open = part.rfind(L'[');
      long long index;
      if (open == std::wstring::npos || !parse_number(part.substr(open + 1, part.size() - open - 2), index) ||
          index < 0) {
        error = L"bad index in " + quoted(part);
        return false;
      }
      step.index = static_cast<int>(index);
      part.resize(open);
    }
    if (part.find_first_of(L"[]") != std::wstring::npos) {
      error = L"misplaced bracket in " + quoted(part);
      return false;
    }
    const size_t tilde = part.find(L'~');
    if (tilde != std::wstring::npos) {
      step.text = part.substr(tilde + 1);
      part.resize(tilde);
    }
    const size_t at = part.find(L'@');
    if (at != std::wstring::npos) {
      long long id;
      if (!parse_number(part.substr(at + 1), id)) {
        error = L"bad control id in " + quoted(part);
        return false;
      }
      step.id = static_cast<int>(id);
      part.resize(at);
    }
    if (!part.empty()) step.cls = part;
    if (!step.cls && !step.id && !step.text) {
      error = L"empty step in child path " + quoted(path);
      return false;
    }
    steps.push_back(step);
    start = slash + 1;
  }
  return true;
}

std::wstring describe_path(const std::vector<ChildStep>& steps) {
  std::wstring d;
  for (const auto& s : steps) {
    if (!d.empty()) d += L"/";
    if (s.cls) d += *s.cls;
    if (s.id) d += L"@" + std::to_wstring(*s.id);
    if (s.text) d += L"~" + *s.text;
    if (s.index) d += L"[" + std::to_wstring(s.index) + L"]";
  }
  return d;
}

static void collect(HWND parent, std::vector<HWND>& out) {
  for (HWND c = GetWindow(parent, GW_CHILD); c && out.size() < 10000; c = GetWindow(c, GW_HWNDNEXT)) {
    out.push_back(c);
    collect(c, out);
  }
}

std::vector<HWND> descendants(HWND root) {
  std::vector<HWND> out;
  collect(root, out);
  return out;
}

HWND find_child(HWND root, const std::vector<ChildStep>& path) {
  HWND current = root;
  for (const auto& step : path) {
    int seen = 0;
    HWND next = nullptr;
    for (HWND c : descendants(current)) {
      if (step.cls && lower(class_of(c)) != lower(*step.cls)) continue;
      if (step.id && GetDlgCtrlID(c) != *step.id) continue;
      if (step.text) {
        std::wstring t;
        if (!get_text(c, t, 2000) || t != *step.text) continue;
      }
      if (seen++ == step.index) { next = c; break; }
    }
    if (!next) return nullptr;
    current = next;
  }
  return current;
}

bool get_text(HWND hwnd, std::wstring& out, DWORD timeout_ms) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, timeout_ms, &length)) return false;
  std::wstring buf(length + 64, L'\0');  // the text may grow between the two messages
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()),
                           SMTO_ABORTIFHUNG, timeout_ms, &copied))
    return false;
  buf.resize(std::min<size_t>(copied, buf.size() - 1));
  out = buf;
  return true;
}

bool set_text(HWND hwnd, const std::wstring& text, DWORD timeout_ms) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG,
                             timeout_ms, &result) != 0 &&
         result != 0;
}

// ---- message boxes and dialogs --------------------------------------------------------------

bool is_dialog(HWND hwnd) { return class_of(hwnd) == L"#32770"; }

bool is_message_box(HWND hwnd) {
  return is_dialog(hwnd) && GetDlgItem(hwnd, kMessageBoxTextId) != nullptr &&
         find_child(hwnd, {ChildStep{std::nullopt, kFileNameBoxId, std::nullopt, 0}}) == nullptr;
}

bool is_file_dialog(HWND hwnd) {
  return is_dialog(hwnd) && find_child(hwnd, {ChildStep{std::nullopt, kFileNameBoxId, std::nullopt, 0}});
}

std::vector<Button> buttons_of(HWND dialog) {
  std::vector<Button> out;
  for (HWND c : descendants(dialog)) {
    if (lower(class_of(c)) != L"button") continue;
    const LONG style = GetWindowLongW(c, GWL_STYLE) & BS_TYPEMASK;
    if (style != BS_PUSHBUTTON && style != BS_DEFPUSHBUTTON) continue;
    if (!IsWindowVisible(c)) continue;
    Button b{c, GetDlgCtrlID(c), {}};
    get_text(c, b.text, 2000);
    out.push_back(b);
  }
  return out;
}

int button_id(const std::wstring& name) {
  static const struct { const wchar_t* name; int id; } kIds[] = {
      {L"ok", IDOK},       {L"cancel", IDCANCEL},     {L"abort", IDABORT},       {L"retry", IDRETRY},
      {L"ignore", IDIGNORE}, {L"yes", IDYES},         {L"no", IDNO},             {L"close", IDCLOSE},
      {L"help", IDHELP},   {L"tryagain", IDTRYAGAIN}, {L"continue", IDCONTINUE},
  };
  const std::wstring l = lower(name);
  for (const auto& k : kIds)
    if (l == k.name) return k.id;
  long long n;
  if (parse_number(name, n) && n >= 0 && n <= 0xFFFF) return static_cast<int>(n);
  return -1;
}

bool post_click(HWND button) { return PostMessageW(button, BM_CLICK, 0, 0) != 0; }

bool post_mouse_click(HWND hwnd, POINT p) {
  const LPARAM at = MAKELPARAM(p.x, p.y);
  return PostMessageW(hwnd, WM_MOUSEMOVE, 0, at) && PostMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, at) &&
         PostMessageW(hwnd, WM_LBUTTONUP, 0, at);
}

HWND child_at(HWND hwnd, POINT client, POINT& child_point) {
  HWND current = hwnd;
  POINT p = client;
  for (int depth = 0; depth < 32; ++depth) {
    HWND c = ChildWindowFromPointEx(current, p, CWP_SKIPINVISIBLE | CWP_SKIPTRANSPARENT);
    if (!c || c == current) break;
    MapWindowPoints(current, c, &p, 1);
    current = c;
  }
  child_point = p;
  return current;
}

// ---- remote memory and threads --------------------------------------------------------------

namespace {

struct HandleCloser {
  void operator()(HANDLE h) const {
    if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
};
using Handle = std::unique_ptr<void, HandleCloser>;

class RemoteBuffer {
 public:
  RemoteBuffer(HANDLE process, size_t size) : process_(process) {
    address_ = VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  }
  ~RemoteBuffer() {
    if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
  }
  RemoteBuffer(const RemoteBuffer&) = delete;
  RemoteBuffer& operator=(const RemoteBuffer&) = delete;
  void* get() const { return address_; }
  bool write(const void* data, size_t size, size_t offset = 0) const {
    SIZE_T done = 0;
    return WriteProcessMemory(process_, static_cast<char*>(address_) + offset, data, size, &done) && done == size;
  }
  bool read(void* data, size_t size, size_t offset = 0) const {
    SIZE_T done = 0;
    return ReadProcessMemory(process_, static_cast<char*>(address_) + offset, data, size, &done) && done == size;
  }

 private:
  HANDLE process_;
  void* address_ = nullptr;
};

std::wstring last_error_text(const wchar_t* what) {
  return std::wstring(what) + L" failed (error " + std::to_wstring(GetLastError()) + L")";
}

// Runs start(param) on a new thread in the process; its exit code in result.
bool run_remote(HANDLE process, LPTHREAD_START_ROUTINE start, void* param, const Deadline& deadline,
                DWORD& result, std::wstring& error) {
  Handle thread(CreateRemoteThread(process, nullptr, 0, start, param, 0, nullptr));
  if (!thread) {
    error = last_error_text(L"CreateRemoteThread");
    return false;
  }
  if (WaitForSingleObject(thread.get(), deadline.remaining()) != WAIT_OBJECT_0) {
    error = L"the remote thread did not finish before the deadline";
    return false;
  }
  GetExitCodeThread(thread.get(), &result);
  return true;
}

// The address in the target process of a function of a module this process has loaded too.
void* remote_address(DWORD pid, void* local_function) {
  HMODULE local_module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          static_cast<LPCWSTR>(local_function), &local_module))
    return nullptr;
  wchar_t path[MAX_PATH];
  if (!GetModuleFileNameW(local_module, path, MAX_PATH)) return nullptr;
  const wchar_t* slash = wcsrchr(path, L'\\');
  const std::wstring name = lower(slash ? slash + 1 : path);
  Handle snap(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid));
  if (snap.get() == INVALID_HANDLE_VALUE) return local_function;  // same base in every process
  MODULEENTRY32W me{};
  me.dwSize = sizeof me;
  for (BOOL ok = Module32FirstW(snap.get(), &me); ok; ok = Module32NextW(snap.get(), &me)) {
    if (lower(me.szModule) == name) {
      return me.modBaseAddr + (static_cast<BYTE*>(local_function) - reinterpret_cast<BYTE*>(local_module));
    }
  }
  return local_function;
}

}  // namespace

// ---- menus ----------------------------------------------------------------------------------

bool parse_menu_text(const std::wstring& text, std::vector<MenuItem>& items) {
  items.clear();
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(L'\n', start);
    if (end == std::wstring::npos) end = text.size();
    const std::wstring line = text.substr(start, end - start);
    start = end + 1;
    const size_t t1 = line.find(L'\t');
    const size_t t2 = t1 == std::wstring::npos ? t1 : line.find(L'\t', t1 + 1);
    const size_t t3 = t2 == std::wstring::npos ? t2 : line.find(L'\t', t2 + 1);
    if (t3 == std::wstring::npos) return false;
    long long depth, id;
    if (!parse_number(line.substr(0, t1), depth) || !parse_number(line.substr(t1 + 1, t2 - t1 - 1), id))
      return false;
    MenuItem item;
    item.depth = static_cast<int>(depth);
    item.id = static_cast<UINT>(id);
    const std::wstring flags = line.substr(t2 + 1, t3 - t2 - 1);
    item.popup = flags.find(L'P') != std::wstring::npos;
    item.separator = flags.find(L'S') != std::wstring::npos;
    item.disabled = flags.find(L'D') != std::wstring::npos;
    item.checked = flags.find(L'C') != std::wstring::npos;
    item.caption = line.substr(t3 + 1);
    items.push_back(item);
  }
  return true;
}

static bool read_menu_direct(HMENU menu, std::vector<MenuItem>& items) {
  std::vector<wchar_t> buf(1 << 16);
  menu_walk::Sink sink{buf.data(), static_cast<uint32_t>(buf.size() - 1), 0, false};
  menu_walk::walk(menu, 0, sink);
  return !sink.overflow && parse_menu_text(std::wstring(buf.data(), sink.len), items);
}

static bool read_menu_probe(HWND hwnd, const std::wstring& probe_path, const Deadline& deadline,
                            std::vector<MenuItem>& items, std::wstring& error) {
  const DWORD pid = pid_of(hwnd);
  Handle process(OpenProcess(PROCESS_CREATE_THREAD | PROCESS_QUERY_INFORMATION | PROCESS_VM_OPERATION |
                                 PROCESS_VM_READ | PROCESS_VM_WRITE,
                             FALSE, pid));
  if (!process) {
    error = last_error_text(L"OpenProcess");
    return false;
  }
  HMODULE local_probe = LoadLibraryW(probe_path.c_str());
  if (!local_probe) {
    error = last_error_text((L"loading " + probe_path).c_str());
    return false;
  }
  auto* local_entry = reinterpret_cast<BYTE*>(GetProcAddress(local_probe, probe::kMenuEntry));
  auto* load = reinterpret_cast<LPTHREAD_START_ROUTINE>(
      remote_address(pid, reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "LoadLibraryW"))));
  auto* unload = reinterpret_cast<LPTHREAD_START_ROUTINE>(
      remote_address(pid, reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "FreeLibrary"))));
  if (!local_entry || !load || !unload) {
    error = L"cannot locate the probe's entry or LoadLibraryW";
    FreeLibrary(local_probe);
    return false;
  }

  const size_t path_bytes = (probe_path.size() + 1) * sizeof(wchar_t);
  RemoteBuffer path(process.get(), path_bytes);
  DWORD remote_module = 0;
  if (!path.get() || !path.write(probe_path.c_str(), path_bytes) ||
      !run_remote(process.get(), load, path.get(), deadline, remote_module, error) || remote_module == 0) {
    if (error.empty()) error = L"the target could not load " + probe_path;
    FreeLibrary(local_probe);
    return false;
  }
  auto* remote_entry = reinterpret_cast<LPTHREAD_START_ROUTINE>(
      static_cast<UINT_PTR>(remote_module) + (local_entry - reinterpret_cast<BYTE*>(local_probe)));
  FreeLibrary(local_probe);

  bool ok = false;
  const uint32_t capacity = 1 << 16;
  const size_t block_bytes = sizeof(probe::MenuBlock) + capacity * sizeof(wchar_t);
  RemoteBuffer block(process.get(), block_bytes);
  probe::MenuBlock header{probe::kMagic, hwnd, capacity, 0, probe::kBadBlock, {0}};
  DWORD status = probe::kBadBlock;
  if (block.get() && block.write(&header, sizeof header) &&
      run_remote(process.get(), remote_entry, block.get(), deadline, status, error)) {
    if (status == probe::kOk && block.read(&header, sizeof header) && header.length <= capacity) {
      std::wstring text(header.length, L'\0');
      if (header.length == 0 || block.read(text.data(), header.length * sizeof(wchar_t), offsetof(probe::MenuBlock, text))) {
        ok = parse_menu_text(text, items);
        if (!ok) error = L"the probe's menu text is malformed";
      }
    } else if (status == probe::kNoMenu) {
      error = L"the window has no menu bar";
    } else {
      error = L"the probe failed with status " + std::to_wstring(status);
    }
  }
  DWORD ignored;
  std::wstring unload_error;
  run_remote(process.get(), unload, reinterpret_cast<void*>(static_cast<UINT_PTR>(remote_module)), deadline, ignored,
             unload_error);
  return ok;
}

bool read_menu(HWND hwnd, const std::wstring& probe_path, const Deadline& deadline,
               std::vector<MenuItem>& items, std::wstring& error) {
  HMENU menu = GetMenu(hwnd);
  if (!menu) {
    error = L"the window has no menu bar";
    return false;
  }
  // Windows lets any process read menus; Wine answers -1 for another process's menu.
  if (GetMenuItemCount(menu) >= 0 && read_menu_direct(menu, items)) return true;
  return read_menu_probe(hwnd, probe_path, deadline, items, error);
}

static std::wstring plain_caption(const std::wstring& caption) {
  std::wstring out;
  for (size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == L'\t') break;
    if (caption[i] == L'&') {
      if (i + 1 < caption.size() && caption[i + 1] == L'&') out += L'&', ++i;
      continue;
    }
    out += caption[i];
  }
  return out;
}

bool caption_matches(const std::wstring& caption, const std::wstring& wanted) {
  const std::wstring plain = plain_caption(caption);
  return caption == wanted || plain == wanted || plain == plain_caption(wanted);
}

int find_menu_path(const std::vector<MenuItem>& items, const std::vector<std::wstring>& path) {
  if (path.empty()) return -1;
  size_t level = 0;
  // Search the children of the current popup (items after `parent` with depth level), in order.
  size_t begin = 0, end = items.size();
  for (;;) {
    int found = -1;
    for (size_t i = begin; i < end; ++i) {
      if (items[i].depth != static_cast<int>(level)) continue;
      if (!items[i].separator && caption_matches(items[i].caption, path[level])) {
        found = static_cast<int>(i);
        break;
      }
    }
    if (found < 0) return -1;
    if (++level == path.size()) return found;
    if (!items[found].popup) return -1;
    begin = static_cast<size_t>(found) + 1;
    end = begin;
    while (end < items.size() && items[end].depth >= static_cast<int>(level)) ++end;
  }
}

// ---- status bars ----------------------------------------------------------------------------

bool read_status_parts(HWND sb, const Deadline& deadline, std::vector<std::wstring>& parts, std::wstring& error) {
  parts.clear();
  DWORD_PTR count = 0;
  if (!SendMessageTimeoutW(sb, SB_GETPARTS, 0, 0, SMTO_ABORTIFHUNG, deadline.remaining(), &count)) {
    error = last_error_text(L"SB_GETPARTS");
    return false;
  }
  Handle process(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid_of(sb)));
  if (!process) {
    error = last_error_text(L"OpenProcess");
    return false;
  }
  for (DWORD_PTR i = 0; i < count; ++i) {
    DWORD_PTR info = 0;
    if (!SendMessageTimeoutW(sb, SB_GETTEXTLENGTHW, i, 0, SMTO_ABORTIFHUNG, deadline.remaining(), &info)) {
      error = last_error_text(L"SB_GETTEXTLENGTHW");
      return false;
    }
    const size_t chars = LOWORD(info) + 1;
    RemoteBuffer buf(process.get(), chars * sizeof(wchar_t));
    std::wstring text(chars, L'\0');
    if (!buf.get() || !buf.write(text.data(), chars * sizeof(wchar_t)) ||
        !SendMessageTimeoutW(sb, SB_GETTEXTW, i, reinterpret_cast<LPARAM>(buf.get()), SMTO_ABORTIFHUNG,
                             deadline.remaining(), &info) ||
        !buf.read(text.data(), chars * sizeof(wchar_t))) {
      error = last_error_text(L"SB_GETTEXTW");
      return false;
    }
    text.resize(wcsnlen(text.c_str(), chars));
    parts.push_back(text);
  }
  return true;
}

bool read_status_layout(HWND sb, const Deadline& deadline, std::vector<int>& widths, std::vector<std::wstring>& tips,
                        std::wstring& error) {
  widths.clear();
  tips.clear();
  DWORD_PTR count = 0;
  if (!SendMessageTimeoutW(sb, SB_GETPARTS, 0, 0, SMTO_ABORTIFHUNG, deadline.remaining(), &count)) {
    error = last_error_text(L"SB_GETPARTS");
    return false;
  }
  Handle process(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid_of(sb)));
  if (!process) {
    error = last_error_text(L"OpenProcess");
    return false;
  }
  constexpr size_t kTipChars = 1024;
  RemoteBuffer buf(process.get(), sizeof(RECT) + kTipChars * sizeof(wchar_t));
  if (!buf.get()) {
    error = last_error_text(L"VirtualAllocEx");
    return false;
  }
  for (DWORD_PTR i = 0; i < count; ++i) {
    RECT r{};
    DWORD_PTR ok = 0;
    if (!SendMessageTimeoutW(sb, SB_GETRECT, i, reinterpret_cast<LPARAM>(buf.get()), SMTO_ABORTIFHUNG,
                             deadline.remaining(), &ok) ||
        !buf.read(&r, sizeof r)) {
      error = last_error_text(L"SB_GETRECT");
      return false;
    }
    widths.push_back(r.right - r.left);
    std::wstring tip(kTipChars, L'\0');
    char* text = static_cast<char*>(buf.get()) + sizeof(RECT);
    if (!buf.write(tip.data(), kTipChars * sizeof(wchar_t), sizeof(RECT)) ||
        !SendMessageTimeoutW(sb, SB_GETTIPTEXTW, MAKEWPARAM(i, kTipChars), reinterpret_cast<LPARAM>(text),
                             SMTO_ABORTIFHUNG, deadline.remaining(), &ok) ||
        !buf.read(tip.data(), kTipChars * sizeof(wchar_t), sizeof(RECT))) {
      error = last_error_text(L"SB_GETTIPTEXTW");
      return false;
    }
    tip.resize(wcsnlen(tip.c_str(), kTipChars));
    tips.push_back(tip);
  }
  return true;
}

// ---- processes ------------------------------------------------------------------------------

std::wstring state_folder() {
  wchar_t temp[MAX_PATH];
  const DWORD n = GetTempPathW(MAX_PATH, temp);
  std::wstring dir = (n > 0 && n < MAX_PATH) ? std::wstring(temp, n) : L".\\";
  dir += L"tesmuro-driver";
  CreateDirectoryW(dir.c_str(), nullptr);
  return dir;
}

static std::wstring held_marker(DWORD pid) { return state_folder() + L"\\" + std::to_wstring(pid) + L".held"; }
static std::wstring exit_record(DWORD pid) { return state_folder() + L"\\" + std::to_wstring(pid) + L".exit"; }

std::wstring quote_arg(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') { ++backslashes; continue; }
    if (c == L'"') out.append(backslashes * 2 + 1, L'\\');
    else out.append(backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

static bool write_file(const std::wstring& path, const std::string& data) {
  const std::wstring tmp = path + L".tmp";
  Handle f(CreateFileW(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (f.get() == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = WriteFile(f.get(), data.data(), static_cast<DWORD>(data.size()), &written, nullptr) &&
                  written == data.size();
  f.reset();
  return ok && MoveFileExW(tmp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

static bool read_file(const std::wstring& path, std::string& data) {
  Handle f(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr));
  if (f.get() == INVALID_HANDLE_VALUE) return false;
  char buf[64];
  DWORD got = 0;
  if (!ReadFile(f.get(), buf, sizeof buf, &got, nullptr)) return false;
  data.assign(buf, got);
  return true;
}

static Handle open_null(bool write) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  return Handle(CreateFileW(L"NUL", write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                            OPEN_EXISTING, 0, nullptr));
}

bool start_process(const std::wstring& exe, const std::vector<std::wstring>& args, const std::wstring& cwd,
                   const std::wstring& keeper_exe, DWORD& pid, std::wstring& error) {
  // Only the handles made for the children may be inherited: an inherited copy of this driver's
  // own output would keep a reading shell waiting until the started program ends.
  for (DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
    HANDLE h = GetStdHandle(which);
    if (h && h != INVALID_HANDLE_VALUE) SetHandleInformation(h, HANDLE_FLAG_INHERIT, 0);
  }
  std::wstring cmdline = quote_arg(exe);
  for (const auto& a : args) cmdline += L" " + quote_arg(a);
  // The started programs get NUL as standard handles: they must not hold the pipe through which
  // a shell reads this driver's output.
  Handle null_in = open_null(false), null_out = open_null(true);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = null_in.get();
  si.hStdOutput = null_out.get();
  si.hStdError = null_out.get();
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(exe.c_str(), cmdline.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr,
                      cwd.empty() ? nullptr : cwd.c_str(), &si, &pi)) {
    error = last_error_text((L"CreateProcess " + exe).c_str());
    return false;
  }
  Handle process(pi.hProcess), thread(pi.hThread);
  pid = pi.dwProcessId;

  HANDLE inheritable = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), process.get(), GetCurrentProcess(), &inheritable,
                       SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, TRUE, 0)) {
    error = last_error_text(L"DuplicateHandle");
    TerminateProcess(process.get(), 1);
    return false;
  }
  Handle keeper_handle(inheritable);
  DeleteFileW(exit_record(pid).c_str());
  write_file(held_marker(pid), "");
  std::wstring keeper_cmd = quote_arg(keeper_exe) + L" hold " +
                            std::to_wstring(static_cast<unsigned>(reinterpret_cast<UINT_PTR>(inheritable))) + L" " +
                            std::to_wstring(pid);
  PROCESS_INFORMATION ki{};
  if (!CreateProcessW(keeper_exe.c_str(), keeper_cmd.data(), nullptr, nullptr, TRUE, DETACHED_PROCESS, nullptr,
                      nullptr, &si, &ki)) {
    error = last_error_text(L"starting the keeper");
    DeleteFileW(held_marker(pid).c_str());
    TerminateProcess(process.get(), 1);
    return false;
  }
  CloseHandle(ki.hThread);
  CloseHandle(ki.hProcess);
  ResumeThread(thread.get());
  return true;
}

int keep_process(HANDLE process, DWORD pid, DWORD limit_ms) {
  if (WaitForSingleObject(process, limit_ms) != WAIT_OBJECT_0) return 3;
  DWORD code = 0;
  if (!GetExitCodeProcess(process, &code)) return 1;
  return write_file(exit_record(pid), std::to_string(code)) ? 0 : 1;
}

WaitResult wait_exit(DWORD pid, const Deadline& deadline, DWORD& exit_code, std::wstring& error) {
  if (GetFileAttributesW(held_marker(pid).c_str()) != INVALID_FILE_ATTRIBUTES) {
    // Started by this driver: the keeper records the code even if the process ended long ago.
    for (;;) {
      std::string data;
      if (read_file(exit_record(pid), data) && !data.empty()) {
        long long code;
        if (!parse_number(widen(data), code)) {
          error = L"malformed exit record " + widen(data);
          return WaitResult::kError;
        }
        exit_code = static_cast<DWORD>(code);
        return WaitResult::kExited;
      }
      if (deadline.passed()) return WaitResult::kTimeout;
      deadline.nap();
    }
  }
  Handle process(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (!process) {
    error = L"no process " + std::to_wstring(pid) + L" (not started by this driver, or gone)";
    return WaitResult::kError;
  }
  if (WaitForSingleObject(process.get(), deadline.remaining()) != WAIT_OBJECT_0) return WaitResult::kTimeout;
  GetExitCodeProcess(process.get(), &exit_code);
  return WaitResult::kExited;
}

bool process_alive(DWORD pid) {
  Handle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
  return process && WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

bool terminate(DWORD pid, UINT code, const Deadline& deadline, std::wstring& error) {
  Handle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
  if (!process) {
    error = L"no process " + std::to_wstring(pid);
    return false;
  }
  if (WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) return true;
  if (!TerminateProcess(process.get(), code)) {
    error = last_error_text(L"TerminateProcess");
    return false;
  }
  if (WaitForSingleObject(process.get(), deadline.remaining()) != WAIT_OBJECT_0) {
    error = L"the process did not end before the deadline";
    return false;
  }
  return true;
}

}  // namespace drv
