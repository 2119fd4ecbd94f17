// What a user types for a run and what a run shows, the same in both
// programs: the speed, pass count and duration of a command line, the state
// line with its clock, and the notice of a screen of another size.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "play/progress.h"

namespace tesmuro::play {

// A speed factor with '.' as the decimal point ("2", "0.5", ".5", "2."), from
// 0.1 to 100 as typed, in whole percent: further decimals round to the nearest
// percent ("1.234" is 123, "1.235" is 124). No sign, exponent or ','.
std::optional<int32_t> ParseSpeedPercent(std::string_view text);
// A pass count: digits only, 1 to 2147483647.
std::optional<int32_t> ParsePassCount(std::string_view text);
// A duration in seconds: "H:M:S", "M:S" or seconds; minutes and seconds after
// a colon at most 59; at most 2^31 - 1 seconds in all.
std::optional<int64_t> ParseDuration(std::string_view text);
// The seed of a run's random draws: digits only, 0 to 18446744073709551615.
std::optional<uint64_t> ParseSeed(std::string_view text);

// "随机种子 N（SWITCH N 可重复本次播放）": a run's seed, for the user to repeat the
// run; `seedSwitch` is the program's own ("/seed", "--seed").
std::string SeedNotice(uint64_t seed, std::string_view seedSwitch);
// "SWITCH N 可重复本次播放": the same, short enough for the status bar beside
// the emergency stop hint (the switch names the seed).
std::string SeedHint(uint64_t seed, std::string_view seedSwitch);

// "H:MM:SS"; a negative time shows as 0:00:00.
std::string FormatClock(int64_t seconds);

// UTF-8: "播放 2/3" (the pass in progress, never beyond the total),
// "播放 第42遍" until stopped, "播放 剩 1:02:03" in the timed mode, with
// "暂停" in place of "播放" while paused; "录制中" or "就绪" without a run.
std::string PlayStateText(bool recording, const Progress& p);

// A script recorded on a screen of another size, played without the mapping.
std::string ScreenNotMapped(int recordedWidth, int recordedHeight, int width, int height);

}  // namespace tesmuro::play
