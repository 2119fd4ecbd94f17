// tesmuro hotkeys: the keys of the rows file (setup/script_hotkeys.h) grabbed
// on the X server through a connection of their own. A key pressed while
// nothing plays plays its row's script as tesmuro play does (PlayScript);
// while it plays the other keys are ignored, and after it the command
// listens again, until a signal (Ctrl+C) ends it.
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "linux/commands.h"
#include "linux/console.h"
#include "linux/files.h"
#include "linux/x_session.h"
#include "os/monotonic_posix.h"
#include "play/input_sink_x11.h"
#include "setup/script_hotkeys.h"
#include "util/path.h"
#include "util/shortcut.h"

// Xlib last: its macros (None, Status, ...) would clash with the names above.
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace tesmuro::linux_cli {
namespace {

using linux_console::Out;

// The longest wait for the keys of a shortcut to be let go before its script
// starts (a script must not play with the user's Ctrl still down).
constexpr int64_t kReleaseWaitMicros = 2'000'000;

// A row's script: a relative name is taken from the rows file's folder.
std::string ScriptPath(const std::string& script, const std::string& rowsPath) {
  return ResolvePath(FolderOf(rowsPath), script);
}

int g_grabError = 0;
int OnGrabError(Display*, XErrorEvent* e) {
  if (g_grabError == 0) g_grabError = e->error_code;
  return 0;
}

int OnServerLost(Display*) {
  std::fputs("\n与 X 服务器的连接已断开。\n", stderr);
  std::fflush(nullptr);
  _exit(kExitError);
}

// The modifier bits (Shift, Ctrl, Alt) of X key states.
constexpr unsigned kShortcutMasks = ShiftMask | ControlMask | Mod1Mask;

unsigned XModifiers(uint16_t shortcut) {
  unsigned m = 0;
  const Shortcut key(shortcut);
  if (key.Shift()) m |= ShiftMask;
  if (key.Ctrl()) m |= ControlMask;
  if (key.Alt()) m |= Mod1Mask;
  return m;
}

// The passive grabs of the rows' keys on the root window, each with Caps
// Lock and Num Lock on and off, so that a key works whatever those locks are.
class KeyGrabs {
 public:
  explicit KeyGrabs(Display* d) : d_(d), root_(DefaultRootWindow(d)), keys_(d, nullptr, {}) {
    XModifierKeymap* map = XGetModifierMapping(d_);
    const KeyCode numLock = XKeysymToKeycode(d_, XK_Num_Lock);
    for (int mod = 0; mod < 8; ++mod)
      for (int k = 0; k < map->max_keypermod; ++k) {
        const KeyCode code = map->modifiermap[mod * map->max_keypermod + k];
        if (code == 0) continue;
        if (numLock != 0 && code == numLock) numLockMask_ = 1u << mod;
        if (mod == ShiftMapIndex || mod == ControlMapIndex || mod == Mod1MapIndex) modifierKeys_.push_back(code);
      }
    XFreeModifiermap(map);
  }

  // Grabs the key of row `row`; empty, or why the server will not have it.
  std::string Grab(uint16_t shortcut, std::size_t row) {
    std::vector<unsigned> codes;
    for (bool extended : {false, true}) {
      const play::KeyStroke k{.vk = static_cast<uint8_t>(shortcut & 0xFFu), .extended = extended};
      const uint32_t code = keys_.KeycodeFor(k);
      if (code != 0 && (codes.empty() || codes[0] != code)) codes.push_back(code);
    }
    if (codes.empty()) return "这个键在 X 中没有对应的键";
    const unsigned mods = XModifiers(shortcut);
    const std::size_t first = grabs_.size();
    g_grabError = 0;
    XErrorHandler previous = XSetErrorHandler(OnGrabError);
    for (unsigned code : codes)
      for (unsigned locks : {0u, unsigned{LockMask}, numLockMask_, LockMask | numLockMask_}) {
        XGrabKey(d_, static_cast<int>(code), mods | locks, root_, False, GrabModeAsync, GrabModeAsync);
        grabs_.push_back({code, mods | locks, row});
      }
    XSync(d_, False);
    XSetErrorHandler(previous);
    if (g_grabError == 0) return {};
    // Our own grabs only are released: another client's stay.
    for (std::size_t i = first; i < grabs_.size(); ++i) XUngrabKey(d_, static_cast<int>(grabs_[i].code), grabs_[i].mods, root_);
    grabs_.resize(first);
    XSync(d_, False);
    return g_grabError == BadAccess ? "另一个程序已占用这个键" : "X 服务器拒绝了这个键（错误 " + std::to_string(g_grabError) + "）";
  }

  // The row a key press belongs to, if any.
  std::optional<std::size_t> RowOf(const XKeyEvent& e) const {
    for (const Grabbed& g : grabs_)
      if (g.code == e.keycode && (g.mods & kShortcutMasks) == (e.state & kShortcutMasks)) return g.row;
    return std::nullopt;
  }

  // Waits until the key `code` and the Shift, Ctrl and Alt keys are up, at
  // most kReleaseWaitMicros; false when a signal came meanwhile.
  bool WaitForRelease(unsigned code) {
    const int64_t end = os::MonotonicMicros() + kReleaseWaitMicros;
    while (os::MonotonicMicros() < end) {
      char keys[32] = {};
      XQueryKeymap(d_, keys);
      auto down = [&keys](unsigned c) { return c < 256 && ((keys[c / 8] >> (c % 8)) & 1); };
      bool held = down(code);
      for (KeyCode m : modifierKeys_) held = held || down(m);
      if (!held) return true;
      pollfd fd{linux_console::SignalFd(), POLLIN, 0};
      if (::poll(&fd, 1, 20) > 0 && linux_console::TakeSignals()) return false;
    }
    return true;
  }

 private:
  struct Grabbed {
    unsigned code;
    unsigned mods;
    std::size_t row;
  };
  Display* d_;
  Window root_;
  play::X11InputSink keys_;  // for its key -> keycode mapping, the player's own
  unsigned numLockMask_ = Mod2Mask;
  std::vector<KeyCode> modifierKeys_;
  std::vector<Grabbed> grabs_;
};

// The rows file read; none, after saying why, when it cannot be read or
// holds no row that can be read.
std::optional<setup::ScriptHotKeyRows> ReadRows(const std::string& rowsPath) {
  std::string bytes, error;
  if (!linux_files::ReadFile(rowsPath, bytes, error)) {
    if (errno == ENOENT)
      Out().Say("找不到热键文件 " + rowsPath + "。请在其中每行写一个热键：热键<Tab>遍数<Tab>脚本文件" +
                "（例如 Ctrl+F5<Tab>1<Tab>每日.crec），或用 --file 指定热键文件。");
    else
      Out().Say("无法读取热键文件 " + rowsPath + "：" + error + "。");
    return std::nullopt;
  }
  setup::ScriptHotKeyRows parsed = setup::ParseScriptHotKeys(bytes);
  for (const std::string& p : parsed.problems) Out().Say(rowsPath + "：" + p + "。");
  if (parsed.rows.empty()) {
    Out().Say("热键文件 " + rowsPath + " 中没有可读的热键行。");
    return std::nullopt;
  }
  return parsed;
}

// Grabs the rows' keys; the rows listened to, each one that cannot be used
// said with why.
std::vector<std::size_t> GrabRows(KeyGrabs& grabs, const std::vector<setup::ScriptHotKey>& rows,
                                  const HotKeys& hotKeys) {
  std::vector<std::size_t> listening;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    std::string why = setup::ScriptHotKeyProblem(rows, i, hotKeys);
    if (why.empty()) why = grabs.Grab(rows[i].key, i);
    if (!why.empty()) {
      Out().Say("热键 " + Shortcut(rows[i].key).Name() + "（" + rows[i].script + "）不能使用：" + why + "。");
      continue;
    }
    listening.push_back(i);
  }
  return listening;
}

// The keys listened to and the scripts they play.
void SayListening(const std::vector<setup::ScriptHotKey>& rows, const std::vector<std::size_t>& listening,
                  const std::string& rowsPath) {
  Out().Say("正在监听 " + std::to_string(listening.size()) + " 个热键（按 Ctrl+C 结束）：");
  for (std::size_t i : listening) {
    const std::string path = ScriptPath(rows[i].script, rowsPath);
    Out().Say("  " + Shortcut(rows[i].key).Name() + "：" + path + "，" + std::to_string(rows[i].passes) + " 遍" +
              (::access(path.c_str(), R_OK) == 0 ? "" : "（现在找不到这个文件）"));
  }
}

// The keys pressed on the server and the scripts they play, until a signal.
class Listener {
 public:
  Listener(Display* d, KeyGrabs& grabs, const std::vector<setup::ScriptHotKey>& rows, const std::string& rowsPath,
           const Options& o, const TSettings& settings, const Services& services)
      : d_(d), grabs_(grabs), rows_(rows), rowsPath_(rowsPath), o_(o), settings_(settings), services_(services) {}

  void Run() {
    for (;;) {
      while (XPending(d_) > 0) {
        XEvent ev;
        XNextEvent(d_, &ev);
        if (ev.type == KeyPress && !Pressed(ev.xkey)) return;
      }
      pollfd fds[2] = {{ConnectionNumber(d_), POLLIN, 0}, {linux_console::SignalFd(), POLLIN, 0}};
      ::poll(fds, 2, -1);
      if ((fds[1].revents & POLLIN) && linux_console::TakeSignals()) return;
    }
  }

 private:
  // A key of a row plays its script once the keys are up; false when a
  // signal came meanwhile.
  bool Pressed(const XKeyEvent& key) {
    const std::optional<std::size_t> row = grabs_.RowOf(key);
    if (!row) return true;
    if (!grabs_.WaitForRelease(key.keycode)) return false;
    const setup::ScriptHotKey& r = rows_[*row];
    PlayJob job{ScriptPath(r.script, rowsPath_), {}, o_.display, [this] { IgnoreKeys(); }};
    job.run.loops = r.passes;
    Out().Say(Shortcut(r.key).Name() + "：播放 " + job.file + "（" + std::to_string(r.passes) + " 遍）");
    told_.clear();
    bool signalled = false;
    const int code = PlayScript(job, settings_, services_, &signalled);
    IgnoreKeys();  // what came after the run's last look
    if (signalled) return false;
    Out().Say(std::string(code == kExitOk ? "播放完毕，" : "") + "继续监听热键。");
    return true;
  }

  // While a script plays: the keys pressed meanwhile are taken and ignored,
  // each said once per run.
  void IgnoreKeys() {
    while (XPending(d_) > 0) {
      XEvent ev;
      XNextEvent(d_, &ev);
      if (ev.type != KeyPress) continue;
      if (const auto row = grabs_.RowOf(ev.xkey); row && told_.insert(*row).second)
        Out().Say("正在回放，热键 " + Shortcut(rows_[*row].key).Name() + " 已忽略。");
    }
  }

  Display* d_;
  KeyGrabs& grabs_;
  const std::vector<setup::ScriptHotKey>& rows_;
  const std::string& rowsPath_;
  const Options& o_;
  const TSettings& settings_;
  const Services& services_;
  std::set<std::size_t> told_;
};

}  // namespace

int RunHotkeys(const Options& o, const TSettings& settingsIn, const std::string& settingsPath,
               const Services& services) {
  const std::string rowsPath = o.rowsFile.value_or(JoinPath(FolderOf(settingsPath), setup::kScriptHotKeysFileName));
  const std::optional<setup::ScriptHotKeyRows> parsed = ReadRows(rowsPath);
  if (!parsed) return kExitError;
  TSettings settings = settingsIn;
  if (settings.ShutAfterLoops || settings.ShutAfterElapsed) {
    Out().Say("设置中的“回放后关机”在 Linux 版中不可用，已忽略。");
    settings.ShutAfterLoops = settings.ShutAfterElapsed = false;  // said once, not at every run
  }
  const HotKeys hotKeys{settings.RecordKey, settings.StartKey, settings.StopKey, settings.ShortCutControl};

  std::string error;
  Display* d = linux_x::Connect(o.display.value_or(""), error);
  if (!d) {
    Out().Say(error);
    return kExitError;
  }
  XSetIOErrorHandler(OnServerLost);
  KeyGrabs grabs(d);
  const std::vector<std::size_t> listening = GrabRows(grabs, parsed->rows, hotKeys);
  if (listening.empty()) {
    Out().Say("没有可用的热键。");
    XCloseDisplay(d);
    return kExitError;
  }
  SayListening(parsed->rows, listening, rowsPath);
  Listener(d, grabs, parsed->rows, rowsPath, o, settings, services).Run();
  XCloseDisplay(d);
  Out().Say("热键监听已结束。");
  return kExitOk;
}

}  // namespace tesmuro::linux_cli
