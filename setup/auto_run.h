// Start with the system: the confirm button of the settings dialog brings the
// value "Quorlin" of the local machine's Run key into line with the dialog's
// check box. The registry is reached through a small interface.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tesmuro::setup {

class IRegistry {
 public:
  using Key = uintptr_t;
  static constexpr Key kLocalMachine = 0x80000002;  // HKEY_LOCAL_MACHINE

  virtual ~IRegistry() = default;
  // Opens `path` under `parent` with full access, creating it when it is
  // missing. Names are UTF-8.
  virtual bool CreateKey(Key parent, std::string_view path, Key& key) = 0;
  // Opens an existing key with full access.
  virtual bool OpenKey(Key parent, std::string_view path, Key& key) = 0;
  // Sets a string value; the stored data includes the terminating zero.
  virtual bool SetString(Key key, std::string_view name, std::string_view data) = 0;
  virtual void CloseKey(Key key) = 0;
};

inline constexpr char kCurrentVersionKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
inline constexpr char kRunKey[] = "Run";
inline constexpr char kAutoRunValue[] = "Quorlin";
inline constexpr char kCannotOpenRegistry[] = "不能打开系统注册表！";

// A message box: text, caption, style (the system's MB_* values); returns the
// button pressed.
using ShowMessageFn = std::function<int(std::string_view text, std::string_view caption, unsigned style)>;

// Sets "Quorlin" in HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run to
// `exePath` when `autoRun` is set and to the empty string otherwise; the
// value is never deleted. When the CurrentVersion key can't be opened the
// user is told and nothing else happens; when "Run" can't be created or the
// value can't be set, a std::runtime_error says so. "Run" that can't be
// opened after it was created is passed over in silence. Every key opened is
// closed again, whatever happens.
void UpdateAutoRun(IRegistry& registry, bool autoRun, const std::string& exePath, const ShowMessageFn& showMessage);

// The dialog's confirm button: the modal result becomes 1 first, so the
// dialog closes as confirmed even when the registry update then throws.
void ConfirmSetup(int& modalResult, IRegistry& registry, bool autoRun, const std::string& exePath,
                  const ShowMessageFn& showMessage);

}  // namespace tesmuro::setup
