// The terminal the program runs in: its messages and one-line state display
// on standard error, and the signals (Ctrl+C, SIGTERM, SIGHUP) that end a
// recording or a run.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

namespace tesmuro::linux_console {

// Messages and the state line share the terminal. The state line is shown
// only on a terminal, and redrawn at most every 200 ms and only when its text
// changed: callers ask StateDue() before they build the text.
class Console {
 public:
  Console();
  void Say(const std::string& text);
  bool StateDue();
  void State(const std::string& text);
  void Clear();

 private:
  void ClearLocked();
  bool tty_;
  bool shown_ = false;
  std::string state_;
  int64_t stateAt_ = INT64_MIN / 2;
  std::mutex mutex_;
};

// The program's one console.
Console& Out();

// Makes the descriptor the signal handler writes to and installs the handler;
// false (errno set) when the descriptor cannot be made: Ctrl+C and SIGTERM
// would not be heard.
bool InstallSignals();
// Readable once a signal came.
int SignalFd();
// Takes the signals that came; true when there were any.
bool TakeSignals();

}  // namespace tesmuro::linux_console
