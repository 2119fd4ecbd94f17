// What a recorder writes to: the recording clock's merge, the script text and
// the status bar. The main window provides it.
#pragma once

#include <string_view>

namespace tesmuro {

class RecordSink {
 public:
  virtual ~RecordSink() = default;
  // Merges the three last-event times into their latest value.
  virtual void SyncLastEventTime() = 0;
  // Appends one GBK line to the script text.
  virtual void AppendLine(std::string_view gbk) = 0;
  // Writes a status bar panel (UTF-8).
  virtual void SetStatusText(int panel, std::string_view utf8) = 0;
};

}  // namespace tesmuro
