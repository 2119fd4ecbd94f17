// The game-controller information report: what the system's joystick
// services say about controller 1 or 2, as the text of a message box.
#pragma once

#include <string>

#include "os/platform.h"

namespace tesmuro {

struct JoystickReport {
  std::string text;  // UTF-8
  std::string caption;
};

// `controller` is 1 or 2 (the system's ids 0 and 1). When the query fails the
// record is empty, so the report shows zeros and empty names.
JoystickReport BuildJoystickReport(IJoystickService& joysticks, int controller);

// The report text for a capability record. Line 1 ends with CR LF, the
// others with LF. Ids are unsigned, the 32-bit values signed.
std::string FormatJoystickReport(const JoyCaps& caps, int controller);

}  // namespace tesmuro
