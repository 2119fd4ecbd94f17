// Start with the system: the confirm button of the settings dialog brings the
// value "Quorlin" of a Run key into line with the dialog's check box. The
// local machine's Run key is tried first; a user without the rights to write
// there gets the entry in his own Run key instead. The registry is reached
// through a small interface.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tesmuro::setup {

class IRegistry {
 public:
  using Key = uintptr_t;
  static constexpr Key kCurrentUser = 0x80000001;   // HKEY_CURRENT_USER
  static constexpr Key kLocalMachine = 0x80000002;  // HKEY_LOCAL_MACHINE
  enum class Access {
    Read,   // query values
    Write,  // set and delete values; a missing key is created
  };

  virtual ~IRegistry() = default;
  // Opens `path` under `parent`. Names are UTF-8.
  virtual bool OpenKey(Key parent, std::string_view path, Access access, Key& key) = 0;
  // A value's data; nullopt when there is no such value or it can't be read.
  // Data that is not a string reads as the empty string.
  virtual std::optional<std::string> ReadString(Key key, std::string_view name) = 0;
  // Sets a string value; the stored data includes the terminating zero.
  virtual bool SetString(Key key, std::string_view name, std::string_view data) = 0;
  // Deletes a value; a value that does not exist counts as deleted.
  virtual bool DeleteValue(Key key, std::string_view name) = 0;
  virtual void CloseKey(Key key) = 0;
};

inline constexpr char kRunKeyPath[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr char kAutoRunValue[] = "Quorlin";

// What the user is told (caption "系统提示").
inline constexpr char kAutoRunForCurrentUser[] =
    "没有管理员权限，不能为本机所有用户设置开机自启动，已改为只在当前用户登录时自启动。";
inline constexpr char kAutoRunNotWritten[] = "不能写入系统注册表，开机自启动没有设置。";
inline constexpr char kAutoRunNoProgramPath[] = "找不到本程序的路径，开机自启动没有设置。";
inline constexpr char kAutoRunNotRemoved[] = "没有权限删除注册表中的开机自启动项，本程序仍会随系统启动。";

// A message box: text, caption, style (the system's MB_* values); returns the
// button pressed.
using ShowMessageFn = std::function<int(std::string_view text, std::string_view caption, unsigned style)>;

// The Run value's data for a program: its path in double quotes, so that a
// path with spaces can't be read as a shorter program path plus arguments.
std::string AutoRunCommand(const std::string& exePath);

// Brings the value "Quorlin" of the Run keys into line with the check box and
// returns whether the program now starts with the system because a value was
// written.
// - Checked: the quoted `exePath` goes to the local machine's Run key and any
//   value in the current user's key is removed; when the machine's key can't
//   be written, the value goes to the current user's key and the user is told
//   so. Nothing written anywhere, or an empty `exePath` (nothing is written
//   then), is reported and returns false.
// - Cleared: the value is deleted from both keys, whatever its data; a value
//   that starts a program and can't be deleted is reported. Returns false.
// Every key opened is closed again.
bool UpdateAutoRun(IRegistry& registry, bool autoRun, const std::string& exePath, const ShowMessageFn& showMessage);

// The dialog's confirm button: the modal result becomes 1 first, so the
// dialog closes as confirmed whatever the update does. Returns what the check
// box must show afterwards, the result of UpdateAutoRun, so that the settings
// record keeps the start-with-the-system switch on only when it took effect.
bool ConfirmSetup(int& modalResult, IRegistry& registry, bool autoRun, const std::string& exePath,
                  const ShowMessageFn& showMessage);

}  // namespace tesmuro::setup
