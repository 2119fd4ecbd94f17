// Helpers shared by the Windows halves: text conversion at the API, DPI
// scaling, fonts and the standard error box.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace tesmuro::win {

std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);
// Script text is GBK (code page 936) whatever the system's code page.
std::wstring GbkToWide(std::string_view gbk);
std::string WideToGbk(std::wstring_view wide);
// Bytes in the system's ANSI code page (names kept in the settings file).
std::wstring AnsiToWide(std::string_view ansi);
std::string WideToAnsi(std::wstring_view wide);
// A UTF-8 file name in the system's ANSI code page, as the settings file
// keeps it. A name the code page can't hold is given by its short form when
// the file has one that it can; otherwise unrepresentable characters become
// the code page's default character.
std::string Utf8ToAnsiName(std::string_view utf8);

// Dots per inch of a window (96 when the system cannot tell).
UINT DpiOf(HWND hwnd);
inline int Scale(int px, UINT dpi) { return MulDiv(px, static_cast<int>(dpi), 96); }

// A font of the given height in pixels at 96 DPI, scaled to `dpi`.
HFONT MakeFont(std::string_view faceUtf8, int height96, UINT dpi);

// Window rectangle for a client area of the given size, centred on the
// primary work area.
RECT CentredWindowRect(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, bool menu, UINT dpi);

// The full path of the running program as the system reports it (UTF-8);
// empty when the system can't tell it.
std::string ExePath();
// The folder of the running program, with a trailing backslash (UTF-8);
// empty when the system can't tell it.
std::string ExeDirectory();

// Registers a window class on the button-face background with the arrow
// cursor; with `withIcon`, the program's icon (resource 1).
void RegisterFormClass(const wchar_t* name, WNDPROC proc, bool withIcon = false);

// The window procedure of a tab page: hands its controls' notifications
// (WM_COMMAND, WM_NOTIFY) to the page's parent.
LRESULT CALLBACK ForwardingPageProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept;

// The standard box for an error that a command did not handle: its text with
// a full stop, caption "Tesmuro", error icon.
void ShowErrorBox(HWND owner, std::string_view utf8Text);

}  // namespace tesmuro::win
