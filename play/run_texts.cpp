#include "play/run_texts.h"

#include <algorithm>

#include "play/speed.h"

namespace tesmuro::play {
namespace {

constexpr int64_t kInt32Max = 2147483647;

// Digits only, at least one; none above `max` (however many leading zeros).
std::optional<int64_t> Digits(std::string_view t, int64_t max) {
  if (t.empty()) return std::nullopt;
  int64_t v = 0;
  for (char c : t) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
    if (v > max) return std::nullopt;
  }
  return v;
}

}  // namespace

std::optional<int32_t> ParseSpeedPercent(std::string_view t) {
  const std::size_t dot = t.find('.');
  const std::string_view whole = t.substr(0, dot);
  const std::string_view frac = dot == std::string_view::npos ? std::string_view() : t.substr(dot + 1);
  if (whole.empty() && frac.empty()) return std::nullopt;
  if (frac.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
  const auto w = whole.empty() ? std::optional<int64_t>(0) : Digits(whole, kMaxSpeedPercent);
  if (!w) return std::nullopt;
  // The range holds for the number as typed; then the third decimal rounds.
  auto decimal = [&](std::size_t i) { return i < frac.size() ? frac[i] - '0' : 0; };
  const int64_t percent = *w * 100 + decimal(0) * 10 + decimal(1);
  const bool beyondPercent = frac.size() > 2 && frac.find_first_not_of('0', 2) != std::string_view::npos;
  if (percent < kMinSpeedPercent || percent > kMaxSpeedPercent || (percent == kMaxSpeedPercent && beyondPercent))
    return std::nullopt;
  return static_cast<int32_t>(percent + (decimal(2) >= 5 ? 1 : 0));
}

std::optional<int32_t> ParsePassCount(std::string_view t) {
  const auto v = Digits(t, kInt32Max);
  if (!v || *v < 1) return std::nullopt;
  return static_cast<int32_t>(*v);
}

std::optional<int64_t> ParseDuration(std::string_view t) {
  int64_t total = 0;
  int parts = 0;
  for (;;) {
    const std::size_t colon = t.find(':');
    const std::string_view part = t.substr(0, colon);
    // The first part may be any number of hours (or minutes, or seconds).
    const auto v = Digits(part, parts == 0 ? kInt32Max : 59);
    if (!v || ++parts > 3) return std::nullopt;
    total = total * 60 + *v;
    if (total > kInt32Max) return std::nullopt;
    if (colon == std::string_view::npos) return total;
    t.remove_prefix(colon + 1);
  }
}

std::optional<uint64_t> ParseSeed(std::string_view t) {
  if (t.empty()) return std::nullopt;
  uint64_t v = 0;
  for (char c : t) {
    if (c < '0' || c > '9') return std::nullopt;
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    if (v > (UINT64_MAX - digit) / 10) return std::nullopt;
    v = v * 10 + digit;
  }
  return v;
}

std::string SeedNotice(uint64_t seed, std::string_view seedSwitch) {
  const std::string n = std::to_string(seed);
  return "随机种子 " + n + "（" + std::string(seedSwitch) + " " + n + " 可重复本次播放）";
}

std::string SeedHint(uint64_t seed, std::string_view seedSwitch) {
  return std::string(seedSwitch) + " " + std::to_string(seed) + " 可重复本次播放";
}

std::string FormatClock(int64_t seconds) {
  seconds = std::max<int64_t>(seconds, 0);
  const int64_t h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
  auto two = [](int64_t v) { return (v < 10 ? "0" : "") + std::to_string(v); };
  return std::to_string(h) + ":" + two(m) + ":" + two(s);
}

std::string PlayStateText(bool recording, const Progress& p) {
  if (p.playing) {
    std::string t = p.paused ? "暂停 " : "播放 ";
    const int64_t pass = p.passesDone + 1;  // the pass in progress
    switch (p.mode) {
      case 1: t += "第" + std::to_string(pass) + "遍"; break;
      case 2: t += "剩 " + FormatClock(p.secondsLeft); break;
      default: {
        const int64_t total = std::max<int32_t>(p.passCount, 1);
        t += std::to_string(std::min(pass, total)) + "/" + std::to_string(total);
      }
    }
    return t;
  }
  return recording ? "录制中" : "就绪";
}

std::string ScreenNotMapped(int recordedWidth, int recordedHeight, int width, int height) {
  return "录制时屏幕 " + std::to_string(recordedWidth) + "x" + std::to_string(recordedHeight) + "，现在 " +
         std::to_string(width) + "x" + std::to_string(height) + "，坐标未换算";
}

}  // namespace tesmuro::play
