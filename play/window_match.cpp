#include "play/window_match.h"

#include <algorithm>
#include <climits>

#include "script/script_format.h"

namespace tesmuro::play {

namespace {
bool SameIgnoringAsciiCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}
}  // namespace

std::optional<WindowTarget> TargetOf(const script::Action& a, std::string_view system) {
  if (a.kind != script::ActionKind::Window || a.system != system) return std::nullopt;
  WindowTarget t;
  t.process = script::UnquoteToken(a.text[0]);
  t.className = script::UnquoteToken(a.text[1]);
  t.title = script::UnquoteToken(a.text[2], &t.titleCut);
  t.rect = {a.screen[0], a.screen[1], a.screen[2], a.screen[3]};
  return t;
}

bool SameKind(const TopWindow& w, const WindowTarget& t) {
  return w.className == t.className && SameIgnoringAsciiCase(w.process, t.process);
}

int TitleCloseness(const std::string& title, const WindowTarget& t) {
  if (title == t.title) return INT_MAX;
  if (t.titleCut && title.compare(0, t.title.size(), t.title) == 0) return INT_MAX - 1;
  const auto diff = std::mismatch(title.begin(), title.end(), t.title.begin(), t.title.end());
  return static_cast<int>(std::min<std::ptrdiff_t>(diff.first - title.begin(), INT_MAX - 2));
}

std::optional<TopWindow> BestMatch(const std::vector<TopWindow>& windows, const WindowTarget& t) {
  std::optional<TopWindow> best;
  int bestScore = -1;
  for (const TopWindow& w : windows) {
    if (!w.visible || w.minimized || w.own || !SameKind(w, t)) continue;
    const int score = TitleCloseness(w.title, t);
    if (score > bestScore) {  // ties keep the one in front
      best = w;
      bestScore = score;
    }
  }
  return best;
}

}  // namespace tesmuro::play
