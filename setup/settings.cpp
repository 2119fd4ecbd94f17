#include "setup/settings.h"

#include <algorithm>
#include <cstring>

#include "util/text.h"

namespace tesmuro {

TSettings ConstructionSettings() {
  TSettings s;
  s.RecMouse = s.RecKey = s.RecJoy = s.RecMouseMsg = s.RecKeyMsg = true;
  return s;
}

namespace {

void Flag(std::string& out, bool v) { out += v ? "1\r\n" : "0\r\n"; }
void Num(std::string& out, int32_t v) {
  out += ToDec(v);
  out += "\r\n";
}

// Byte sources with one byte of push-back, like a C stream.
class FileSource {
 public:
  explicit FileSource(std::FILE* f) : f_(f) {}
  int Get() { return std::fgetc(f_); }
  void Unget(int c) { if (c != EOF) std::ungetc(c, f_); }
 private:
  std::FILE* f_;
};

class MemorySource {
 public:
  explicit MemorySource(std::string_view b) : b_(b) {}
  int Get() { return pos_ < b_.size() ? static_cast<unsigned char>(b_[pos_++]) : EOF; }
  void Unget(int c) { if (c != EOF && pos_ > 0) --pos_; }
 private:
  std::string_view b_;
  size_t pos_ = 0;
};

bool IsSpace(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// One "%d" read: skips white space, takes an optional sign and decimal
// digits. Fails when no digit follows; the byte that stopped it stays in the
// stream (a sign before it is consumed, as with the C library). Values beyond
// 32 bits keep their low 32 bits.
template <class Src>
bool ReadInt(Src& src, int32_t& out) {
  int c;
  do c = src.Get(); while (IsSpace(c));
  bool neg = false;
  if (c == '+' || c == '-') {
    neg = c == '-';
    c = src.Get();
  }
  if (c < '0' || c > '9') {
    src.Unget(c);
    return false;
  }
  uint32_t v = 0;
  while (c >= '0' && c <= '9') {
    v = v * 10u + static_cast<uint32_t>(c - '0');
    c = src.Get();
  }
  src.Unget(c);
  out = static_cast<int32_t>(neg ? 0u - v : v);
  return true;
}

template <class Src>
void ReadFlag(Src& src, bool& field) {
  int32_t v;
  if (ReadInt(src, v)) field = v != 0;
}

template <class Src>
void ReadNum(Src& src, int32_t& field) {
  int32_t v;
  if (ReadInt(src, v)) field = v;
}

template <class Src>
void ReadInRange(Src& src, int32_t& field, int32_t lo, int32_t hi) {
  int32_t v;
  if (ReadInt(src, v) && v >= lo && v <= hi) field = v;
}

template <class Src>
void ReadKey(Src& src, uint16_t& field) {
  int32_t v;
  if (ReadInt(src, v)) field = static_cast<uint16_t>(static_cast<uint32_t>(v) & 0xFFFFu);
}

template <class Src>
void Parse(Src& src, TSettings& s) {
  ReadFlag(src, s.RecMouse);
  ReadFlag(src, s.RecKey);
  ReadFlag(src, s.RecJoy);
  ReadFlag(src, s.LoopUntilKey);
  ReadFlag(src, s.LoopByCount);
  ReadFlag(src, s.LoopByTime);
  ReadNum(src, s.LoopCount);
  ReadNum(src, s.LoopHours);
  ReadNum(src, s.LoopMinutes);
  ReadNum(src, s.LoopSeconds);
  ReadKey(src, s.StartKey);
  ReadKey(src, s.StopKey);
  ReadKey(src, s.RecordKey);
  ReadFlag(src, s.ShortCutControl);
  ReadFlag(src, s.ShutAfterLoops);
  ReadFlag(src, s.ShutAfterElapsed);
  ReadFlag(src, s.AutoRun);
  ReadNum(src, s.ShutHours);
  ReadNum(src, s.ShutMinutes);
  ReadNum(src, s.ShutSeconds);

  // Line 21: the number read above stops before the CR LF that ends line 20;
  // exactly two bytes are dropped for it. Then the name runs to the first CR
  // or LF (taken, not kept), to the end of the file, or to 1000 bytes.
  src.Get();
  src.Get();
  std::string name;
  for (size_t i = 0; i < kAutoFileNameMax; ++i) {
    const int c = src.Get();
    if (c == EOF || c == '\r' || c == '\n') break;
    name.push_back(static_cast<char>(c));
  }
  // The name is a C string: a NUL byte ends it.
  if (const auto nul = name.find('\0'); nul != std::string::npos) name.resize(nul);
  size_t b = 0, e = name.size();
  while (b < e && static_cast<unsigned char>(name[b]) <= 32) ++b;
  while (e > b && static_cast<unsigned char>(name[e - 1]) <= 32) --e;
  s.AutoFileName = name.substr(b, e - b);

  ReadFlag(src, s.AutoPlay);
  ReadFlag(src, s.PostJoy);
  ReadFlag(src, s.SendInputJoy);
  ReadFlag(src, s.RecMouseMsg);
  ReadFlag(src, s.RecKeyMsg);
  int32_t speed = 0;
  if (ReadInt(src, speed) && speed >= kMinSpeedPercent && speed <= kMaxSpeedPercent) s.SpeedPercent = speed;
  ReadFlag(src, s.GameMode);
  ReadFlag(src, s.ScaleToScreen);
  ReadFlag(src, s.PlayKeyPlaysMemo);
  ReadFlag(src, s.FollowWindows);
  int32_t wait = 0;
  if (ReadInt(src, wait) && wait >= kMinWaitSeconds && wait <= kMaxWaitSeconds) s.WaitWindowSeconds = wait;
  ReadInRange(src, s.DelayJitterPercent, kMinJitterPercent, kMaxJitterPercent);
  ReadInRange(src, s.MoveIntervalMs, 0, kMaxMoveIntervalMs);
  ReadInRange(src, s.MoveMinDistance, 0, kMaxMoveDistance);
  ReadFlag(src, s.MinimizeToTray);
}

}  // namespace

std::string FormatSettings(const TSettings& s) {
  std::string out;
  out.reserve(128 + s.AutoFileName.size());
  Flag(out, s.RecMouse);
  Flag(out, s.RecKey);
  Flag(out, s.RecJoy);
  Flag(out, s.LoopUntilKey);
  Flag(out, s.LoopByCount);
  Flag(out, s.LoopByTime);
  Num(out, s.LoopCount);
  Num(out, s.LoopHours);
  Num(out, s.LoopMinutes);
  Num(out, s.LoopSeconds);
  Num(out, s.StartKey);
  Num(out, s.StopKey);
  Num(out, s.RecordKey);
  Flag(out, s.ShortCutControl);
  Flag(out, s.ShutAfterLoops);
  Flag(out, s.ShutAfterElapsed);
  Flag(out, s.AutoRun);
  Num(out, s.ShutHours);
  Num(out, s.ShutMinutes);
  Num(out, s.ShutSeconds);
  out += s.AutoFileName;
  out += "\r\n";
  Flag(out, s.AutoPlay);
  Flag(out, s.PostJoy);
  Flag(out, s.SendInputJoy);
  Flag(out, s.RecMouseMsg);
  Flag(out, s.RecKeyMsg);
  Num(out, s.SpeedPercent);
  Flag(out, s.GameMode);
  Flag(out, s.ScaleToScreen);
  Flag(out, s.PlayKeyPlaysMemo);
  Flag(out, s.FollowWindows);
  Num(out, s.WaitWindowSeconds);
  Num(out, s.DelayJitterPercent);
  Num(out, s.MoveIntervalMs);
  Num(out, s.MoveMinDistance);
  Flag(out, s.MinimizeToTray);
  return out;
}

void ParseSettings(std::FILE* f, TSettings& s) {
  FileSource src(f);
  Parse(src, s);
}

void ParseSettings(std::string_view bytes, TSettings& s) {
  MemorySource src(bytes);
  Parse(src, s);
}

play::RunOptions RunOptionsFor(const TSettings& s, const RunRequest& r) {
  play::RunOptions o;
  if (s.LoopByCount) {
    o.loopMode = play::LoopMode::Count;
    o.loopCount = s.LoopCount;
  } else if (s.LoopByTime) {
    o.loopMode = play::LoopMode::Timed;
    o.loopTotalSeconds = int64_t{s.LoopHours} * 3600 + int64_t{s.LoopMinutes} * 60 + s.LoopSeconds;
  } else if (s.LoopUntilKey) {
    o.loopMode = play::LoopMode::UntilStop;
  }
  if (r.withShutdown) {
    o.shutAfterLoops = s.ShutAfterLoops;
    o.shutTotalSeconds = int64_t{s.ShutHours} * 3600 + int64_t{s.ShutMinutes} * 60 + s.ShutSeconds;
    o.shutAfterElapsed = s.ShutAfterElapsed;
  }
  o.controller = {s.PostJoy, s.SendInputJoy};
  o.speedPercent = r.speedPercent.value_or(s.SpeedPercent);
  o.gameMode = s.GameMode || r.gameMode;
  o.scaleToScreen = s.ScaleToScreen || r.scaleToScreen;
  o.stopWhenBlocked = r.stopWhenBlocked;
  o.followWindows = s.FollowWindows;
  o.delayJitterPercent = std::clamp(s.DelayJitterPercent, kMinJitterPercent, kMaxJitterPercent);
  o.seed = r.seed;
  o.waitLimitSeconds = std::clamp(r.waitLimitSeconds.value_or(s.WaitWindowSeconds), kMinWaitSeconds, kMaxWaitSeconds);
  if (r.loops) {
    o.loopMode = play::LoopMode::Count;
    o.loopCount = *r.loops;
  } else if (r.untilStop) {
    o.loopMode = play::LoopMode::UntilStop;
  } else if (r.forSeconds) {
    o.loopMode = play::LoopMode::Timed;
    o.loopTotalSeconds = *r.forSeconds;
  }
  return o;
}

RunRequest RunSwitchesOf(const RunRequest& r) {
  RunRequest s;
  s.gameMode = r.gameMode;
  s.scaleToScreen = r.scaleToScreen;
  return s;
}

RecordingOptions RecordingOptionsFor(const TSettings& s, const RecordingRequest& r) {
  RecordingOptions o;
  o.mouse = !r.noMouse && (s.RecMouse || r.noKeys);
  o.keys = !r.noKeys && (s.RecKey || r.noMouse);
  o.joy = s.RecJoy;
  o.gameMode = o.mouse && (s.GameMode || r.gameMode);
  o.hotKeys.record = r.stopKeyOnly ? 0 : s.RecordKey;
  o.hotKeys.play = r.stopKeyOnly ? 0 : s.StartKey;
  o.hotKeys.stop = s.StopKey;
  o.hotKeys.enabled = s.ShortCutControl;
  o.moveIntervalMs = std::clamp(s.MoveIntervalMs, 0, kMaxMoveIntervalMs);
  o.moveMinDistance = std::clamp(s.MoveMinDistance, 0, kMaxMoveDistance);
  return o;
}

}  // namespace tesmuro
