#include "os/desktop_win.h"

#include <windows.h>

#include <algorithm>
#include <mutex>
#include <string_view>
#include <unordered_map>

#include "util/text.h"

namespace tesmuro::win {

namespace {

HWND ToHwnd(uint64_t id) { return reinterpret_cast<HWND>(static_cast<uintptr_t>(id)); }
uint64_t ToId(HWND w) { return reinterpret_cast<uintptr_t>(w); }

std::string Narrow(const wchar_t* s, int n) {
  if (n <= 0) return {};
  return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(s), static_cast<size_t>(n)));
}

// The file name of a process's program, by process id. Each entry keeps its
// process open: while a handle to it is open the system never gives its id to
// another process, so the id alone names the process for as long as the
// entry lives, and a look costs no call at all. Entries of processes that
// have ended are closed when the cache is full. A process that cannot be
// opened (a protected one) has no name and is asked again next time.
class ProcessNames {
 public:
  ~ProcessNames() {
    for (auto& [pid, e] : entries_) CloseHandle(e.process);
  }

  std::string NameOf(DWORD pid) {
    std::lock_guard<std::mutex> l(lock_);
    if (auto it = entries_.find(pid); it != entries_.end()) return it->second.name;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process) return {};
    wchar_t path[1024];
    DWORD size = static_cast<DWORD>(std::size(path));
    std::string name;
    if (QueryFullProcessImageNameW(process, 0, path, &size)) {
      const std::wstring_view p(path, size);
      const size_t slash = p.find_last_of(L"\\/");
      const std::wstring_view file = slash == std::wstring_view::npos ? p : p.substr(slash + 1);
      name = Narrow(file.data(), static_cast<int>(file.size()));
    }
    if (entries_.size() >= kMaxEntries) Prune();
    entries_.emplace(pid, Entry{process, name});
    return name;
  }

 private:
  static constexpr size_t kMaxEntries = 128;
  struct Entry {
    HANDLE process;
    std::string name;
  };
  // Drops the processes that have ended; all of them when none has.
  void Prune() {
    for (auto it = entries_.begin(); it != entries_.end();) {
      DWORD code = 0;
      if (!GetExitCodeProcess(it->second.process, &code) || code != STILL_ACTIVE) {
        CloseHandle(it->second.process);
        it = entries_.erase(it);
      } else {
        ++it;
      }
    }
    if (entries_.size() < kMaxEntries) return;
    for (auto& [pid, e] : entries_) CloseHandle(e.process);
    entries_.clear();
  }

  std::mutex lock_;
  std::unordered_map<DWORD, Entry> entries_;
};

class WinDesktop final : public IDesktop {
 public:
  std::string_view System() const override { return "win"; }

  std::vector<TopWindow> Windows() override {
    std::vector<HWND> all;
    EnumWindows(&Collect, reinterpret_cast<LPARAM>(&all));
    std::vector<TopWindow> out;
    out.reserve(all.size());
    for (HWND w : all) {
      TopWindow t;
      if (Fill(w, t, /*listedOnly=*/true)) out.push_back(std::move(t));
    }
    return out;
  }

  std::optional<TopWindow> Describe(uint64_t id) override { return Of(ToHwnd(id)); }

  std::optional<TopWindow> WindowAt(int32_t x, int32_t y) override {
    // Only windows of the calling thread get asked where they are hit: none
    // of the player's.
    HWND w = WindowFromPoint(POINT{x, y});
    if (!w) return std::nullopt;
    return Of(GetAncestor(w, GA_ROOT));
  }

  std::optional<TopWindow> Foreground() override { return Of(GetForegroundWindow()); }

  bool Activate(uint64_t id) override {
    HWND w = ToHwnd(id);
    if (!IsWindow(w)) return false;
    if (IsIconic(w)) ShowWindowAsync(w, SW_RESTORE);
    if (GetForegroundWindow() == w) return true;
    if (SetForegroundWindow(w) && GetForegroundWindow() == w) return true;
    // The system keeps the front for the program the user works in and lets
    // only that program's input queue hand it on. The player's thread shares
    // that queue for the moment of the call (no input goes anywhere, nothing
    // waits on the other thread).
    const DWORD self = GetCurrentThreadId();
    const DWORD front = GetWindowThreadProcessId(GetForegroundWindow(), nullptr);
    if (front && front != self && AttachThreadInput(self, front, TRUE)) {
      SetForegroundWindow(w);
      AttachThreadInput(self, front, FALSE);
    }
    return GetForegroundWindow() == w;
  }

  // Only our own windows, which belong to the user interface thread: asked
  // without waiting for that thread.
  void StepAside(uint64_t id) override {
    HWND w = ToHwnd(id);
    if (Own(w) && !IsIconic(w)) ShowWindowAsync(w, SW_MINIMIZE);
  }
  void ComeBack(uint64_t id) override {
    // Back where it was, leaving the front to the window the run played into.
    HWND w = ToHwnd(id);
    if (Own(w) && IsIconic(w)) ShowWindowAsync(w, SW_SHOWNOACTIVATE);
  }

  std::optional<uint32_t> PixelAt(int32_t x, int32_t y) override {
    HDC screen = GetDC(nullptr);
    if (!screen) return std::nullopt;
    const COLORREF c = GetPixel(screen, x, y);
    ReleaseDC(nullptr, screen);
    if (c == CLR_INVALID) return std::nullopt;
    return uint32_t{GetRValue(c)} << 16 | uint32_t{GetGValue(c)} << 8 | GetBValue(c);
  }

  // The screen's part of the area copied with one BitBlt into a top-down
  // 32-bit DIB section (whose memory starts out black), layered windows
  // included.
  std::optional<image::Image> Capture(const DesktopRect& area) override {
    constexpr int32_t kMaxSide = 32768;
    if (area.width <= 0 || area.height <= 0 || area.width > kMaxSide || area.height > kMaxSide) return std::nullopt;
    const int64_t vl = GetSystemMetrics(SM_XVIRTUALSCREEN), vt = GetSystemMetrics(SM_YVIRTUALSCREEN);
    const int64_t vr = vl + GetSystemMetrics(SM_CXVIRTUALSCREEN), vb = vt + GetSystemMetrics(SM_CYVIRTUALSCREEN);
    const int64_t l = std::max<int64_t>(area.left, vl), t = std::max<int64_t>(area.top, vt);
    const int64_t r = std::min<int64_t>(int64_t{area.left} + area.width, vr);
    const int64_t b = std::min<int64_t>(int64_t{area.top} + area.height, vb);
    HDC screen = GetDC(nullptr);
    if (!screen) return std::nullopt;
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = area.width;
    info.bmiHeader.biHeight = -area.height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = memory ? CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
    std::optional<image::Image> out;
    if (dib && bits) {
      HGDIOBJ old = SelectObject(memory, dib);
      const bool copied =
          r <= l || b <= t ||
          BitBlt(memory, static_cast<int>(l - area.left), static_cast<int>(t - area.top), static_cast<int>(r - l),
                 static_cast<int>(b - t), screen, static_cast<int>(l), static_cast<int>(t), SRCCOPY | CAPTUREBLT);
      GdiFlush();
      if (copied) {
        out.emplace(area.width, area.height);
        const uint32_t* from = static_cast<const uint32_t*>(bits);
        for (uint32_t& px : out->pixels) px = *from++ | 0xFF000000u;
      }
      SelectObject(memory, old);
    }
    if (dib) DeleteObject(dib);
    if (memory) DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return out;
  }

 private:
  static BOOL CALLBACK Collect(HWND w, LPARAM all) {
    reinterpret_cast<std::vector<HWND>*>(all)->push_back(w);
    return TRUE;
  }

  static bool Own(HWND w) {
    DWORD pid = 0;
    return GetWindowThreadProcessId(w, &pid) && pid == GetCurrentProcessId();
  }

  std::optional<TopWindow> Of(HWND w) {
    TopWindow t;
    if (!w || !Fill(w, t)) return std::nullopt;
    return t;
  }

  // False when the window is gone, or with `listedOnly` when it is hidden
  // and has no title. The title is read without asking the window
  // (GetWindowTextW would send our own windows a message).
  bool Fill(HWND w, TopWindow& t, bool listedOnly = false) {
    DWORD pid = 0;
    if (!GetWindowThreadProcessId(w, &pid)) return false;
    t.id = ToId(w);
    wchar_t text[512];
    t.title = Narrow(text, InternalGetWindowText(w, text, static_cast<int>(std::size(text))));
    t.visible = IsWindowVisible(w) != FALSE;
    if (listedOnly && !t.visible && t.title.empty()) return false;
    t.className = Narrow(text, GetClassNameW(w, text, static_cast<int>(std::size(text))));
    RECT r{};
    if (GetWindowRect(w, &r)) t.rect = {r.left, r.top, r.right - r.left, r.bottom - r.top};
    t.minimized = IsIconic(w) != FALSE;
    t.own = pid == GetCurrentProcessId();
    t.process = names_.NameOf(pid);
    return true;
  }

  ProcessNames names_;
};

}  // namespace

std::unique_ptr<IDesktop> NewDesktop() { return std::make_unique<WinDesktop>(); }

}  // namespace tesmuro::win
