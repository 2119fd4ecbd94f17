#include "play/run_switches.h"

#include <array>

#include "play/run_texts.h"

namespace tesmuro::play {
namespace {

using Sets = RunSwitch::Sets;

// Whole seconds, digits only, 0 to kMaxWaitLimitSeconds.
std::optional<int32_t> ParseWaitLimit(std::string_view text) {
  if (text.empty() || text.size() > 6) return std::nullopt;
  int32_t n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
  }
  if (n > kMaxWaitLimitSeconds) return std::nullopt;
  return n;
}

// The messages where both programs take the switch are the Windows
// program's wording (they name the switch), the Linux-only ones as the
// Linux program always said them.
constexpr std::array kSwitches{
    RunSwitch{"loops", 'n', true, true, true, false, Sets::Loops, "{switch} 后面缺少播放遍数",
              "{switch} 的遍数必须是 1 到 2147483647 之间的整数：{value}"},
    RunSwitch{"until-stop", 0, false, true, true, false, Sets::UntilStop, nullptr, nullptr},
    RunSwitch{"for", 0, true, true, true, false, Sets::ForSeconds, "{switch} 后面缺少播放时长（时:分:秒）",
              "{switch} 的时长必须是 时:分:秒，例如 1:30:00：{value}"},
    RunSwitch{"speed", 's', true, true, false, false, Sets::Speed, "{switch} 后面缺少播放速度",
              "{switch} 的速度必须是 0.1 到 100 之间的数：{value}"},
    RunSwitch{"scale", 0, true, true, false, false, Sets::Scale, nullptr, nullptr},
    RunSwitch{"wait-limit", 0, false, true, false, false, Sets::WaitLimit, "选项 {switch} 需要一个秒数",
              "秒数“{value}”无效：应为 0 到 86400 的整数"},
    RunSwitch{"seed", 0, true, true, false, false, Sets::Seed, "{switch} 后面缺少随机种子",
              "{switch} 的随机种子必须是 0 到 18446744073709551615 之间的整数：{value}"},
    RunSwitch{"game", 0, true, true, false, true, Sets::Game, nullptr, nullptr},
};

std::string Fill(std::string_view pattern, std::string_view typed, std::string_view value) {
  std::string t(pattern);
  for (auto [key, with] : {std::pair{std::string_view("{switch}"), typed}, {"{value}", value}})
    if (const size_t at = t.find(key); at != std::string::npos) t.replace(at, key.size(), with);
  return t;
}

// Reads `text` with `parse` into `field`; false when it cannot.
template <typename Field, typename Parse>
bool Read(Field& field, Parse parse, std::string_view text) {
  const auto v = parse(text);
  if (v) field = *v;
  return v.has_value();
}

}  // namespace

std::span<const RunSwitch> RunSwitches() { return kSwitches; }

const RunSwitch* FindRunSwitch(std::string_view name, SwitchStyle style) {
  for (const RunSwitch& s : kSwitches) {
    if (!(style == SwitchStyle::Windows ? s.windows : s.gnu)) continue;
    if (name == s.name || (style == SwitchStyle::Gnu && s.shortName && name == std::string_view(&s.shortName, 1)))
      return &s;
  }
  return nullptr;
}

std::string ApplyRunSwitch(const RunSwitch& s, std::string_view typed, const std::string* value,
                           RunRequest& r) {
  if (s.HasValue() && !value) return Fill(s.missing, typed, {});
  bool read = true;
  switch (s.sets) {
    case Sets::Loops: read = Read(r.loops, ParsePassCount, *value); break;
    case Sets::ForSeconds: read = Read(r.forSeconds, ParseDuration, *value); break;
    case Sets::Speed: read = Read(r.speedPercent, ParseSpeedPercent, *value); break;
    case Sets::WaitLimit: read = Read(r.waitLimitSeconds, ParseWaitLimit, *value); break;
    case Sets::Seed: read = Read(r.seed, ParseSeed, *value); break;
    case Sets::UntilStop: r.untilStop = true; break;
    case Sets::Scale: r.scaleToScreen = true; break;
    case Sets::Game: r.gameMode = true; break;
  }
  return read ? std::string() : Fill(s.unreadable, typed, *value);
}

std::string NameRunSwitches(SwitchStyle style, bool (*which)(const RunSwitch&)) {
  const std::string_view prefix = style == SwitchStyle::Windows ? "/" : "--";
  std::string names, last;
  for (const RunSwitch& s : kSwitches) {
    if (!(style == SwitchStyle::Windows ? s.windows : s.gnu) || !which(s)) continue;
    if (!last.empty()) names += (names.empty() ? "" : "、") + last;
    last = std::string(prefix) + std::string(s.name);
  }
  return names.empty() ? last : names + " 和 " + last;
}

}  // namespace tesmuro::play
