// The input words: moves, buttons, wheels, keys, the controller and screen
// lines go to the replayer (play/replay.h), after the window a window line
// named for them and the foreground check. Typed text goes to the sink a
// character at a time.
#include <mutex>

#include "play/word_families.h"
#include "script/script_format.h"
#include "util/text.h"

namespace tesmuro::play {

using namespace run_detail;

Step PlayInput(Run& run, const script::Action& action) {
  if (action.kind == script::ActionKind::ConversionError)
    return run.StopOn(StopReason::Kind::BadCode, run.LineStart());
  if (std::optional<Step> instead = AwaitNamedWindow(run, action)) return *instead;
  // A screen line starts afresh: no window named before it acts after it.
  if (action.kind == script::ActionKind::Screen) run.windows.pending.reset();
  if (!run.InputMayGo()) return Step::End(RunEnding::Blocked);
  run.replayer.Replay(action);
  if (action.kind == script::ActionKind::Move) {
    if (auto n = run.replayer.TakeScreenNotice()) {
      std::lock_guard<std::mutex> l(run.shared.noticeLock);
      run.shared.screenNotice = *n;
    }
  }
  return Step::Next();
}

namespace {
constexpr uint8_t kVkTab = 0x09;
constexpr uint8_t kVkReturn = 0x0D;

void TapKey(IInputSink& sink, uint8_t vk) {
  KeyStroke k;
  k.vk = vk;
  sink.Key(k);
  k.up = true;
  sink.Key(k);
}
}  // namespace

// 输入文本 "TEXT" MS: each character as itself; a line break (CR LF, CR or LF)
// as Enter, a tab as Tab. MS goes between characters on the run's schedule,
// as a delay line would, so the text takes its time without drift; a pause
// or a stop acts between characters, and a stop leaves the rest untyped.
Step PlayTypeText(Run& run, const script::Action& action) {
  // A text that ends before its closing quote (a space in it, or longer than
  // the reader's word) would be typed in part: the run stops instead.
  bool cut = false;
  const std::string text = script::UnquoteToken(action.text[0], &cut);
  if (cut || action.text[0].empty()) return run.StopOn(StopReason::Kind::TypedTextCut, run.LineStart());
  if (action.badRange) return run.StopOn(StopReason::Kind::BadTypeInterval, run.LineStart());
  if (std::optional<Step> instead = AwaitNamedWindow(run, action)) return *instead;
  if (!run.InputMayGo()) return Step::End(RunEnding::Blocked);
  std::u32string distinct;
  for (size_t i = 0; i < text.size();) {
    const char32_t cp = NextCodePoint(text, i);
    if (cp > U'\r' && distinct.find(cp) == std::u32string::npos) distinct.push_back(cp);
  }
  if (!distinct.empty()) run.sink.PrepareTyping(distinct);
  Schedule& s = run.schedule;
  bool first = true;
  for (size_t i = 0; i < text.size();) {
    const char32_t cp = NextCodePoint(text, i);
    if (cp == U'\n' && i >= 2 && text[i - 2] == '\r') continue;  // CR LF: one Enter
    if (!first) {
      if (action.delay_ms > 0) {
        run.pass.hadDelay = run.tookTime = true;
        s.Advance(int64_t{action.delay_ms} * 1000);
        const int64_t now = run.clock.NowMicros();
        if (now - s.due > kStallMicros) s.due = now;
        if (!run.WaitForDue(s.due)) break;
      } else if (!run.HonourPause(s.due)) {
        break;
      }
    }
    first = false;
    if (cp == U'\r' || cp == U'\n') {
      TapKey(run.sink, kVkReturn);
    } else if (cp == U'\t') {
      TapKey(run.sink, kVkTab);
    } else if (cp != 0 && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF)) {
      run.sink.TypeCharacter(cp);
    }
  }
  if (!distinct.empty()) run.sink.EndTyping();
  return Step::Next();
}

}  // namespace tesmuro::play
