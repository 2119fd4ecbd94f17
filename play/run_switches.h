// The switches of a run on both programs' command lines, in one table: the
// name ("loops": /loops on Windows, --loops on Linux), which programs take
// it, the range of its value and what the user is told when the value is
// missing or out of range. Both command lines read a run's switches through
// it, so the two programs cannot drift apart on a range or its message.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "play/run_options.h"

namespace tesmuro::play {

// The longest wait a command line may ask for: a day.
inline constexpr int32_t kMaxWaitLimitSeconds = 86400;

// How a program writes its switches.
enum class SwitchStyle { Windows /* "/loops" */, Gnu /* "--loops", "-n" */ };

struct RunSwitch {
  // What the switch sets in the run's request, and how its value is read.
  enum class Sets {
    Loops,       // a pass count, 1 to 2147483647
    UntilStop,   // no value
    ForSeconds,  // a duration, H:M:S, M:S or seconds
    Speed,       // a factor, 0.1 to 100
    Scale,       // no value
    WaitLimit,   // whole seconds, 0 to kMaxWaitLimitSeconds
    Seed,        // 0 to 18446744073709551615
    Game,        // no value
  };
  std::string_view name;
  char shortName;         // the Linux program's one-letter form; 0: none
  bool windows, gnu;      // the programs that take it
  bool loopMode;          // one of the loop modes: a run takes one of them
  bool recording;         // a recording takes it too (Linux record)
  Sets sets;
  // With "{switch}" for the switch as typed and "{value}" for the value;
  // UTF-8, without a closing full stop.
  const char* missing;
  const char* unreadable;

  bool HasValue() const { return missing != nullptr; }
};

// The table, in the order the switches are named in messages.
std::span<const RunSwitch> RunSwitches();

// The row for `name` (without its '/' or "--"; the Linux program's short
// form without '-'), among the switches of `style`'s program.
const RunSwitch* FindRunSwitch(std::string_view name, SwitchStyle style);

// Reads `value` (none: the command line ended, or the switch takes no value)
// into `request`; empty, or what is wrong, told as `typed` (the switch as the
// user wrote it).
std::string ApplyRunSwitch(const RunSwitch& s, std::string_view typed, const std::string* value,
                           RunRequest& request);

// The switches of `style` for which `which` holds, as a message names them:
// "/loops 和 /for", "--loops、--until-stop 和 --for".
std::string NameRunSwitches(SwitchStyle style, bool (*which)(const RunSwitch&));

}  // namespace tesmuro::play
