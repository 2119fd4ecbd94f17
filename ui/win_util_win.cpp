#include "ui/win_util_win.h"

#include "ui/message_box.h"

namespace tesmuro::win {
namespace {

std::wstring ToWide(UINT cp, std::string_view s) {
  if (s.empty()) return {};
  int n = MultiByteToWideChar(cp, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(cp, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

std::string FromWide(UINT cp, std::wstring_view w) {
  if (w.empty()) return {};
  int n = WideCharToMultiByte(cp, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(cp, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
  return s;
}

}  // namespace

std::wstring Wide(std::string_view utf8) { return ToWide(CP_UTF8, utf8); }
std::string Utf8(std::wstring_view wide) { return FromWide(CP_UTF8, wide); }
std::wstring GbkToWide(std::string_view gbk) { return ToWide(936, gbk); }
std::string WideToGbk(std::wstring_view wide) { return FromWide(936, wide); }
std::wstring AnsiToWide(std::string_view ansi) { return ToWide(CP_ACP, ansi); }
std::string WideToAnsi(std::wstring_view wide) { return FromWide(CP_ACP, wide); }

std::string Utf8ToAnsiName(std::string_view utf8) {
  const std::wstring w = Wide(utf8);
  auto Convert = [](const std::wstring& wide, std::string& out) {
    out.clear();
    if (wide.empty()) return true;
    BOOL lossy = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                                      nullptr, 0, nullptr, &lossy);
    if (n <= 0) return false;
    out.assign(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), out.data(), n,
                        nullptr, &lossy);
    return !lossy;
  };
  std::string ansi;
  if (Convert(w, ansi)) return ansi;
  // The code page can't hold the name; the file's short name may.
  const DWORD need = GetShortPathNameW(w.c_str(), nullptr, 0);
  if (need > 0) {
    std::wstring shortName(need, L'\0');
    const DWORD got = GetShortPathNameW(w.c_str(), shortName.data(), need);
    if (got > 0 && got < need) {
      shortName.resize(got);
      std::string shortAnsi;
      if (Convert(shortName, shortAnsi)) return shortAnsi;
    }
  }
  return ansi;
}

UINT DpiOf(HWND hwnd) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static auto fn = reinterpret_cast<GetDpiForWindowFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (fn && hwnd) {
    UINT d = fn(hwnd);
    if (d) return d;
  }
  HDC dc = GetDC(nullptr);
  UINT d = static_cast<UINT>(GetDeviceCaps(dc, LOGPIXELSY));
  ReleaseDC(nullptr, dc);
  return d ? d : 96;
}

HFONT MakeFont(std::string_view face, int height96, UINT dpi) {
  return CreateFontW(Scale(height96, dpi), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                     Wide(face).c_str());
}

RECT CentredWindowRect(int cw, int ch, DWORD style, DWORD exStyle, bool menu, UINT dpi) {
  RECT r{0, 0, Scale(cw, dpi), Scale(ch, dpi)};
  using AdjustFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
  static auto adjust = reinterpret_cast<AdjustFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")));
  if (adjust)
    adjust(&r, style, menu, exStyle, dpi);
  else
    AdjustWindowRectEx(&r, style, menu, exStyle);
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const int w = r.right - r.left, h = r.bottom - r.top;
  const int x = work.left + ((work.right - work.left) - w) / 2;
  const int y = work.top + ((work.bottom - work.top) - h) / 2;
  return RECT{x, y, x + w, y + h};
}

std::string ExePath() {
  std::wstring buf(MAX_PATH, L'\0');
  for (;;) {
    SetLastError(ERROR_SUCCESS);
    const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return {};
    // A full buffer: cut short (the error says so on Vista and later, XP
    // just fills it), so try a bigger one.
    if (n < buf.size() && GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
      buf.resize(n);
      return Utf8(buf);
    }
    if (buf.size() >= 32768) return {};  // longer than any path the system allows
    buf.resize(buf.size() * 2);
  }
}

std::string ExeDirectory() {
  std::string path = ExePath();
  const size_t slash = path.find_last_of("\\/");
  path.resize(slash == std::string::npos ? 0 : slash + 1);
  return path;
}

void RegisterFormClass(const wchar_t* name, WNDPROC proc, bool withIcon) {
  const HINSTANCE inst = GetModuleHandleW(nullptr);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = proc;
  wc.hInstance = inst;
  if (withIcon) wc.hIcon = wc.hIconSm = LoadIconW(inst, MAKEINTRESOURCEW(1));
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = name;
  RegisterClassExW(&wc);
}

LRESULT CALLBACK ForwardingPageProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
  switch (msg) {
    case WM_COMMAND:
    case WM_NOTIFY:
      return SendMessageW(GetParent(hwnd), msg, wParam, lParam);
    default:
      return DefWindowProcW(hwnd, msg, wParam, lParam);
  }
}

void ShowErrorBox(HWND owner, std::string_view utf8Text) {
  std::string t(utf8Text);
  if (t.empty() || t.back() != '.') t += '.';
  MessageBoxW(owner, Wide(t).c_str(), Wide(text::kAppTitle).c_str(), MB_OK | MB_ICONERROR);
}

}  // namespace tesmuro::win
