// Small helpers the Windows benchmarks share.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "setup/settings.h"
#include "ui/application_win.h"
#include "ui/win_util_win.h"
#include "util/file_io.h"

namespace tesmuro::bench {

// The performance counter in microseconds, divided in two steps so the
// product cannot overflow however long the system has been up (a counter of
// 10 MHz times a million would after about 10.7 days).
inline int64_t Micros() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  const int64_t freq = f.QuadPart > 0 ? f.QuadPart : 1;
  return c.QuadPart / freq * 1000000 + c.QuadPart % freq * 1000000 / freq;
}

inline int64_t Micros(const FILETIME& f) {
  return static_cast<int64_t>((uint64_t{f.dwHighDateTime} << 32 | f.dwLowDateTime) / 10);
}

// A process's user + kernel time so far, in microseconds (0 when it cannot be
// read).
inline int64_t ProcessCpuMicros(HANDLE process = GetCurrentProcess()) {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  return Micros(kernel) + Micros(user);
}

// Handles every message waiting in this thread's queue.
inline void Pump() {
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
}

// The program's own message loop (the application's RunUntil: dialog
// messages, the idle handler the window installs) with the time of every
// message and idle call it handles added up, through the application's
// timing hook: the user interface thread's busy time.
class TimedLoop {
 public:
  explicit TimedLoop(win::Application& app) : app_(app) {
    app_.SetTimingHook([this](int64_t us) {
      busy_ += us;
      longest_ = std::max(longest_, us);
      if (us > 2000) lastBusy_ = Micros();
    });
    // Wakes the loop's wait now and then, so that a time limit is seen when
    // nothing else comes.
    timer_ = SetTimer(nullptr, 0, 5, nullptr);
  }
  ~TimedLoop() {
    KillTimer(nullptr, timer_);
    app_.SetTimingHook(nullptr);
  }
  TimedLoop(const TimedLoop&) = delete;
  TimedLoop& operator=(const TimedLoop&) = delete;

  // Runs until `done` returns true (asked after every message).
  void RunUntil(const std::function<bool()>& done) { app_.RunUntil(done); }
  // Runs for `ms` milliseconds.
  void RunFor(int ms) {
    const int64_t end = Micros() + ms * 1000LL;
    app_.RunUntil([end] { return Micros() >= end; });
  }
  // Runs until nothing has taken more than 2 ms for a second (the window's
  // own timers take no time), at most ten minutes; returns when that quiet
  // began.
  int64_t RunUntilSettled() {
    const int64_t start = Micros();
    lastBusy_ = start;
    app_.RunUntil([&] {
      const int64_t now = Micros();
      return now - lastBusy_ >= 1000000 || now - start >= 600000000;
    });
    return lastBusy_;
  }

  int64_t Busy() const { return busy_; }
  int64_t Longest() const { return longest_; }
  void ResetLongest() { longest_ = 0; }

 private:
  win::Application& app_;
  UINT_PTR timer_ = 0;
  int64_t busy_ = 0;
  int64_t longest_ = 0;
  int64_t lastBusy_ = 0;
};

// The settings file beside the program for one run: `settings` written
// there, so the window starts with them and with no notice about a missing
// file; the file that was there before is put back at the end (none: removed).
class SettingsFile {
 public:
  explicit SettingsFile(const TSettings& settings) : path_(win::ExeDirectory() + kSettingsFileName) {
    std::string old;
    if (ReadWholeFile(path_, old)) before_ = std::move(old);
    WriteFileAtomically(path_, FormatSettings(settings));
  }
  ~SettingsFile() {
    if (before_)
      WriteFileAtomically(path_, *before_);
    else
      detail::RemoveFile(path_);
  }
  SettingsFile(const SettingsFile&) = delete;
  SettingsFile& operator=(const SettingsFile&) = delete;

 private:
  std::string path_;  // UTF-8
  std::optional<std::string> before_;
};

// An observer independent of the program that injects: a low-level keyboard
// hook on a thread of its own that time-stamps every event of one key (on the
// performance counter) and keeps it from the rest of the desktop. One at a
// time per process. With WH_MOUSE_LL it stamps the left button's presses and
// releases instead of a key's.
class KeyHookStamps {
 public:
  explicit KeyHookStamps(uint8_t key, size_t reserve = 0, int hookType = WH_KEYBOARD_LL)
      : key_(key), hookType_(hookType) {
    stamps_.reserve(reserve);
    instance_ = this;
    ready_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 0, &KeyHookStamps::Main, this, 0, &threadId_);
    WaitForSingleObject(ready_, INFINITE);
  }
  ~KeyHookStamps() {
    PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    CloseHandle(ready_);
    instance_ = nullptr;
  }
  KeyHookStamps(const KeyHookStamps&) = delete;
  KeyHookStamps& operator=(const KeyHookStamps&) = delete;

  bool Installed() const { return hook_ != nullptr; }

  // A time stamp with the processor time of a watched process.
  struct CpuMark {
    int64_t wall = 0, cpu = 0;
    bool taken = false;
  };
  // From now on, notes the processor time of `process` with the first event's
  // stamp and with that of event `last` (counted from 0), until Unwatch.
  void Watch(HANDLE process, size_t last) {
    std::lock_guard<std::mutex> l(m_);
    watched_ = process;
    watchLast_ = last;
    marks_[0] = marks_[1] = {};
  }
  // Ends the watch; the marks at the first and the last event.
  std::pair<CpuMark, CpuMark> Unwatch() {
    std::lock_guard<std::mutex> l(m_);
    watched_ = nullptr;
    return {marks_[0], marks_[1]};
  }

  // How many events have come since the last Take.
  size_t Count() {
    std::lock_guard<std::mutex> l(m_);
    return stamps_.size();
  }

  // The stamps so far, once `count` have come or after a second.
  std::vector<int64_t> Take(size_t count) {
    for (int i = 0; i < 100; ++i) {
      {
        std::lock_guard<std::mutex> l(m_);
        if (stamps_.size() >= count) break;
      }
      Sleep(10);
    }
    std::lock_guard<std::mutex> l(m_);
    std::vector<int64_t> out;
    out.swap(stamps_);
    return out;
  }

 private:
  static DWORD WINAPI Main(void* p) {
    auto* self = static_cast<KeyHookStamps*>(p);
    MSG m;
    PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue, for WM_QUIT
    self->hook_ = SetWindowsHookExW(self->hookType_, &KeyHookStamps::Proc, GetModuleHandleW(nullptr), 0);
    SetEvent(self->ready_);
    while (GetMessageW(&m, nullptr, 0, 0) > 0) DispatchMessageW(&m);
    if (self->hook_) UnhookWindowsHookEx(self->hook_);
    return 0;
  }
  static LRESULT CALLBACK Proc(int code, WPARAM w, LPARAM l) {
    const bool ours = instance_->hookType_ == WH_MOUSE_LL
                          ? w == WM_LBUTTONDOWN || w == WM_LBUTTONUP
                          : reinterpret_cast<const KBDLLHOOKSTRUCT*>(l)->vkCode == instance_->key_;
    if (code == HC_ACTION && ours) {
      const int64_t t = Micros();
      std::lock_guard<std::mutex> lock(instance_->m_);
      const size_t i = instance_->stamps_.size();
      instance_->stamps_.push_back(t);
      if (instance_->watched_ && (i == 0 || i == instance_->watchLast_)) {
        instance_->marks_[i == 0 ? 0 : 1] = {t, ProcessCpuMicros(instance_->watched_), true};
      }
      return 1;
    }
    return CallNextHookEx(nullptr, code, w, l);
  }

  static inline KeyHookStamps* instance_ = nullptr;
  const uint8_t key_;
  const int hookType_;
  HANDLE ready_ = nullptr;
  HANDLE thread_ = nullptr;
  DWORD threadId_ = 0;
  HHOOK hook_ = nullptr;
  std::mutex m_;
  std::vector<int64_t> stamps_;
  HANDLE watched_ = nullptr;
  size_t watchLast_ = 0;
  CpuMark marks_[2];
};

// The program beside this benchmark (Tesmuro.exe in the same folder).
inline std::wstring ProgramBesideThis() {
  wchar_t self[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring exe(self, n < MAX_PATH ? n : 0);
  const size_t slash = exe.find_last_of(L"\\/");
  return (slash == std::wstring::npos ? std::wstring() : exe.substr(0, slash + 1)) + L"Tesmuro.exe";
}

// A copy of the program in a folder of its own under the temporary folder,
// with a settings file beside it (without one the program asks about it in a
// box at start); the folder goes with this object. The child is run from it,
// so the settings of the folder the benchmark lives in are never touched.
class ProgramFolder {
 public:
  ProgramFolder(const std::wstring& exe, const wchar_t* name, const TSettings& settings) {
    wchar_t tmp[MAX_PATH];
    const DWORD n = GetTempPathW(MAX_PATH, tmp);
    if (n == 0 || n >= MAX_PATH) return;
    for (int attempt = 0; attempt < 100 && dir_.empty(); ++attempt) {
      const std::wstring d = std::wstring(tmp) + name + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                             std::to_wstring(GetTickCount() + attempt);
      if (CreateDirectoryW(d.c_str(), nullptr)) dir_ = d;
    }
    if (dir_.empty()) return;
    exe_ = dir_ + L"\\Tesmuro.exe";
    if (!CopyFileW(exe.c_str(), exe_.c_str(), TRUE)) {
      error_ = "cannot copy the program";
      return;
    }
    if (!Write(dir_ + L"\\" + std::wstring(kSettingsFileName, kSettingsFileName + sizeof kSettingsFileName - 1),
               FormatSettings(settings))) {
      error_ = "cannot write the settings file";
      return;
    }
    ok_ = true;
  }
  ~ProgramFolder() {
    if (!dir_.empty()) RemoveTree(dir_);
  }
  ProgramFolder(const ProgramFolder&) = delete;
  ProgramFolder& operator=(const ProgramFolder&) = delete;

  bool Ok() const { return ok_; }
  const char* Error() const { return dir_.empty() ? "cannot make a temporary folder" : error_; }
  const std::wstring& Dir() const { return dir_; }
  const std::wstring& Exe() const { return exe_; }

  // Starts the copy, suspended, with `arguments` after its quoted path, in
  // the folder; false (with the system's error) when it cannot.
  bool Start(const std::wstring& arguments, PROCESS_INFORMATION& pi, DWORD& error) const {
    std::wstring cmd = L"\"" + exe_ + L"\" " + arguments;
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    pi = {};
    if (CreateProcessW(exe_.c_str(), cmd.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, dir_.c_str(),
                       &si, &pi)) {
      return true;
    }
    error = GetLastError();
    return false;
  }

  static bool Write(const std::wstring& path, const std::string& bytes) {
    std::FILE* f = _wfopen(path.c_str(), L"wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
  }

 private:
  static void RemoveTree(const std::wstring& dir) {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
      do {
        const std::wstring name = fd.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = dir + L"\\" + name;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          RemoveTree(path);
        } else {
          SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
          DeleteFileW(path.c_str());
        }
      } while (FindNextFileW(h, &fd));
      FindClose(h);
    }
    RemoveDirectoryW(dir.c_str());
  }

  std::wstring dir_, exe_;
  const char* error_ = "";
  bool ok_ = false;
};

}  // namespace tesmuro::bench
