// The control words: 如果/如果不 … 否则 … 结束如果, 重复 … 结束重复,
// 跳出重复, 标签/跳到, 调用 and 结束播放.
//
// Before anything plays, the script's structure is read once
// (script/control_table.h); every jump, loop end or skipped part is then a
// seek to a place the table holds. A called script is checked the same way,
// with the scripts it calls in turn, before the run's first action. A loop
// or jump that goes round without a positive delay or a wait since it last
// did yields a millisecond, so that a tight loop never keeps a core busy and
// a stop or a pause acts at once.
#include <cctype>
#include <map>
#include <set>
#include <utility>

#include "play/word_families.h"
#include "play/file_source.h"
#include "util/path.h"

namespace tesmuro::play {

using namespace run_detail;
using script::ControlLine;
using script::ControlWord;
using script::kNoControlLine;

namespace {

// At most this many calls deep.
constexpr size_t kMaxCallDepth = 8;
// What a loop that took no time waits before it goes round again.
constexpr int64_t kYieldMicros = 1000;

// Whether two resolved paths name the same file, as far as their text says
// (Windows names are the same in any case and with either separator).
bool SamePath(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (IsPathSeparator(x) && IsPathSeparator(y)) continue;
#ifdef _WIN32
    x = static_cast<char>(std::tolower(static_cast<unsigned char>(x)));
    y = static_cast<char>(std::tolower(static_cast<unsigned char>(y)));
#endif
    if (x != y) return false;
  }
  return true;
}

// Why a call is refused, before the run or when it comes.
std::string Quoted(const std::string& name) { return "“" + name + "”"; }
std::string ReenteredText(const std::string& name) { return "不能调用正在播放的脚本" + Quoted(name); }
std::string MissingText(const std::string& name) { return "找不到调用的脚本" + Quoted(name); }
std::string TooDeepText() { return "调用太深（最多 " + std::to_string(kMaxCallDepth) + " 层）"; }
std::string CalledErrorText(const std::string& name, const script::StructureError& e) {
  return "调用的脚本" + Quoted(name) + "第 " + std::to_string(e.line) + " 行：" + e.message;
}

// The check of every script a run reaches through its calls, before the run:
// each file is read once; a call back into a script on the way to it is a
// re-entry, a chain longer than the limit is too deep.
class CallChecker {
 public:
  explicit CallChecker(const IFileSource& files) : files_(files) {}
  // The structure of the script at `path` (read from `file`), with its calls
  // checked; the run's own script is `path` (empty: the box's text).
  script::Structure CheckTop(std::FILE* file, const std::string& path, const std::string& folder) {
    chain_.push_back(path);
    script::FileByteStream in(file);
    script::Structure s = script::ReadStructure(in, [&](const std::string& name) { return CheckCall(folder, name); });
    chain_.pop_back();
    return s;
  }

 private:
  // What is wrong with calling `name` from a script in `folder`, given the
  // scripts on the way to it.
  std::optional<std::string> CheckCall(const std::string& folder, const std::string& name) {
    const std::string path = ResolvePath(folder, name);
    for (const std::string& on : chain_) {
      if (SamePath(on, path)) return ReenteredText(name);
    }
    if (chain_.size() > kMaxCallDepth) return TooDeepText();
    auto known = height_.find(path);
    if (known == height_.end()) {
      std::FILE* file = files_.Open(path);
      if (!file) return MissingText(name);
      chain_.push_back(path);
      const size_t callerBelow = std::exchange(below_, 0);  // the called script's own calls count now
      script::FileByteStream in(file);
      script::Structure s =
          script::ReadStructure(in, [&](const std::string& inner) { return CheckCall(FolderOf(path), inner); });
      chain_.pop_back();
      std::fclose(file);
      const size_t height = std::exchange(below_, callerBelow);
      if (s.error) return CalledErrorText(name, *s.error);
      known = height_.emplace(path, height).first;
    }
    // This call, and the calls the script makes in turn, on top of the chain.
    if (chain_.size() + known->second > kMaxCallDepth)
      return TooDeepText();
    below_ = std::max(below_, known->second + 1);
    return std::nullopt;
  }

  const IFileSource& files_;
  std::vector<std::string> chain_;       // the scripts on the way, the run's own first
  std::map<std::string, size_t> height_;  // how deep a checked script's own calls go (1 for itself)
  size_t below_ = 0;                     // for the script being checked: the deepest of its calls
};

// Reads on after `line` (a control line of the script being read).
void GoOnAfter(Run& run, uint32_t line) {
  run.stream->Seek(run.controls.table[line].end());
  run.controls.next = line + 1;
}

// Before a loop or a jump back goes round: a yield when nothing took time
// since the last time. The yield is not the script's time: the schedule
// stays the sum of the delays played, and the next delay makes it up.
// False when a stop came meanwhile.
bool GoRound(Run& run) {
  if (run.tookTime) {
    run.tookTime = false;
    return true;
  }
  int64_t until = run.clock.NowMicros() + kYieldMicros;
  return run.WaitForDue(until, /*precise=*/false);
}

// 如果 / 如果不: plays the wait word that follows on the line, then reads on
// in the part the answer chooses.
Step PlayCondition(Run& run, uint32_t index) {
  const ControlLine& line = run.controls.table[index];
  script::Word word;
  if (!script::ReadWord(*run.stream, word)) return Step::Next();
  const script::Action action = script::ParseAction(word.View(), *run.stream);
  if (action.badText) return run.StopOn(StopReason::Kind::BadText, run.LineStart());
  run.testing = true;
  run.conditionMet = true;
  const Step step = FamilyOf(action.kind)(run, action);
  run.testing = false;
  if (step.Ends() || run.Stopped()) return step;
  if (run.conditionMet == (line.word() == ControlWord::If)) return Step::Next();
  // The other part: after the 否则, or after the 结束如果 when there is none.
  GoOnAfter(run, line.other != kNoControlLine ? line.other : line.partner);
  return Step::Next();
}

// 结束重复: goes round again, or on past the loop.
Step EndOfLoop(Run& run, uint32_t index) {
  Controls& c = run.controls;
  const uint32_t repeat = c.table[index].partner;
  if (c.loops.empty() || c.loops.back().line != repeat) return Step::Next();  // not entered: on
  Controls::Loop& loop = c.loops.back();
  if (loop.left == 0) {
    c.loops.pop_back();
    return Step::Next();
  }
  if (loop.left != Controls::Loop::kEndless) --loop.left;
  if (!GoRound(run)) return Step::Next();
  GoOnAfter(run, repeat);
  return Step::Next();
}

// 跳到: out of the blocks the label is not in, then on after the label.
Step JumpTo(Run& run, uint32_t index) {
  Controls& c = run.controls;
  const uint32_t label = c.table[index].partner;
  if (label <= index && !GoRound(run)) return Step::Next();
  if (c.loops.size() > c.table[label].other) c.loops.resize(c.table[label].other);
  GoOnAfter(run, label);
  return Step::Next();
}

// 调用: the called script's structure, then its first line.
Step Call(Run& run, int64_t at) {
  script::CallArguments args;
  std::string error;
  if (!script::ReadCallArguments(*run.stream, args, error)) return run.StopOn(StopReason::Kind::CallFailed, at, error);
  const std::string path = ResolvePath(run.folder, args.file);
  bool reentered = !run.options.scriptPath.empty() && SamePath(run.options.scriptPath, path);
  for (const CallFrame& f : run.calls) reentered = reentered || SamePath(f.path, path);
  if (reentered) return run.StopOn(StopReason::Kind::CallFailed, at, ReenteredText(args.file));
  if (run.calls.size() >= kMaxCallDepth)
    return run.StopOn(StopReason::Kind::CallFailed, at, TooDeepText());
  CallFrame frame;
  frame.file.reset(FilesOf(run.options.files).Open(path));
  if (!frame.file) return run.StopOn(StopReason::Kind::CallFailed, at, MissingText(args.file));
  frame.stream = std::make_unique<script::FileByteStream>(frame.file.get());
  // The scripts it calls were checked before the run; only its own blocks
  // matter now (the file may have changed since).
  script::Structure s = script::ReadStructure(*frame.stream);
  if (s.error) {
    return run.StopOn(StopReason::Kind::CallFailed, at,
                      CalledErrorText(args.file, *s.error));
  }
  frame.stream->Rewind();
  frame.path = path;
  frame.timesLeft = static_cast<int64_t>(args.times) - 1;
  frame.callerStream = run.stream;
  frame.callerControls = std::move(run.controls);
  frame.callerFolder = std::move(run.folder);
  run.controls = Controls{};
  run.controls.table = std::move(s.table);
  run.folder = FolderOf(path);
  run.stream = frame.stream.get();
  run.calls.push_back(std::move(frame));
  return Step::Next();
}

}  // namespace

std::optional<Step> CheckStructure(Run& run) {
  if (!run.file) return std::nullopt;
  CallChecker checker(FilesOf(run.options.files));
  script::Structure s = checker.CheckTop(run.file, run.options.scriptPath, run.folder);
  std::rewind(run.file);
  if (!s.error) {
    run.controls.table = std::move(s.table);
    return std::nullopt;
  }
  StopReason r;
  r.kind = StopReason::Kind::BadStructure;
  r.line = s.error->line;
  r.what = std::move(s.error->message);
  run.shared.stopReason = std::move(r);
  return Step::End(RunEnding::ScriptStop);
}

void EnterAt(Run& run, int64_t start) {
  Controls& c = run.controls;
  c.Restart();
  // The blocks open at `start`, as the lines before it open and close them.
  std::vector<uint32_t> open;
  uint32_t i = 0;
  for (; i < c.table.size() && c.table[i].offset() < start; ++i) {
    switch (c.table[i].word()) {
      case ControlWord::If: case ControlWord::IfNot: case ControlWord::Repeat: open.push_back(i); break;
      case ControlWord::Else: if (!open.empty()) open.back() = i; break;
      case ControlWord::EndIf: case ControlWord::EndRepeat: if (!open.empty()) open.pop_back(); break;
      default: break;
    }
  }
  c.next = i;
  // Each 重复 around the start goes round as if it had been entered there.
  for (uint32_t line : open) {
    if (c.table[line].word() != ControlWord::Repeat) continue;
    const uint32_t count = c.table[line].other;
    c.loops.push_back({line, count == 0 ? Controls::Loop::kEndless : count - 1});
  }
}

bool EndOfCalled(Run& run) {
  if (run.calls.empty()) return false;
  CallFrame& frame = run.calls.back();
  if (frame.timesLeft > 0 && GoRound(run)) {
    --frame.timesLeft;
    run.stream->Rewind();
    run.controls.Restart();
    return true;
  }
  run.stream = frame.callerStream;
  run.controls = std::move(frame.callerControls);
  run.folder = std::move(frame.callerFolder);
  run.calls.pop_back();
  return true;
}

Step PlayControl(Run& run, ControlWord word, int64_t at) {
  Controls& c = run.controls;
  uint32_t index = c.next < c.table.size() && c.table[c.next].offset() == at ? c.next : c.table.Find(at);
  switch (word) {
    case ControlWord::Call: return Call(run, at);
    case ControlWord::EndPlay: return Step::End(RunEnding::Normal);
    default: break;
  }
  if (index == kNoControlLine) return Step::Next();  // the table and the stream disagree: read on
  c.next = index + 1;
  const ControlLine& line = c.table[index];
  switch (word) {
    case ControlWord::If:
    case ControlWord::IfNot: return PlayCondition(run, index);
    case ControlWord::Else: GoOnAfter(run, line.partner); return Step::Next();  // the 如果 part played
    case ControlWord::Repeat:
      // N times: N - 1 more after this one; no count: until left.
      c.loops.push_back({index, line.other == 0 ? Controls::Loop::kEndless : line.other - 1});
      run.stream->Seek(line.end());
      return Step::Next();
    case ControlWord::EndRepeat: return EndOfLoop(run, index);
    case ControlWord::BreakRepeat: {
      const uint32_t repeat = line.partner;
      while (!c.loops.empty() && c.loops.back().line != repeat) c.loops.pop_back();
      if (!c.loops.empty()) c.loops.pop_back();
      GoOnAfter(run, c.table[repeat].partner);
      return Step::Next();
    }
    case ControlWord::JumpTo: return JumpTo(run, index);
    default: run.stream->Seek(line.end()); return Step::Next();  // 标签, 结束如果: on
  }
}

}  // namespace tesmuro::play
