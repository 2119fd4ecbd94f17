#include "script/control_table.h"

#include <algorithm>
#include <cstring>
#include <tuple>
#include <utility>

#include "script/script_format.h"
#include "script/word_reader.h"

namespace tesmuro::script {

namespace {

constexpr int kEnd = ByteStream::kEnd;
constexpr const char* kBadEscape = "引号中的转义无效（可用 \\s \\t \\n \\r \\\" \\\\ 和 \\u{十六进制}）";

struct ControlEntry {
  std::string_view text;
  ControlWord word;
};
constexpr ControlEntry kControlWords[] = {
    {kWordIf, ControlWord::If},
    {kWordIfNot, ControlWord::IfNot},
    {kWordElse, ControlWord::Else},
    {kWordEndIf, ControlWord::EndIf},
    {kWordRepeat, ControlWord::Repeat},
    {kWordEndRepeat, ControlWord::EndRepeat},
    {kWordBreakRepeat, ControlWord::BreakRepeat},
    {kWordLabel, ControlWord::Label},
    {kWordJumpTo, ControlWord::JumpTo},
    {kWordCall, ControlWord::Call},
    {kWordEndPlay, ControlWord::EndPlay},
};

// The words an 如果 may ask about: those that wait for something to show
// and say whether it did. A wait word added later goes here too.
bool IsWaitWord(ActionKind kind) {
  switch (kind) {
    case ActionKind::WaitWindow:
    case ActionKind::WaitColor:
    case ActionKind::WaitImage:
    case ActionKind::ClickImage:
    case ActionKind::WaitKey:
      return true;
    default:
      return false;
  }
}

// The next word when it stands on the current line; otherwise nothing is
// read (the line's end stays in the stream).
bool ReadWordOnLine(ByteStream& in, Word& word) {
  int c;
  do c = in.Get();
  while (c == ' ' || c == '\t' || c == '\v' || c == '\f');
  in.Unget(c);
  if (c == kEnd || c == '\r' || c == '\n') return false;
  return ReadWord(in, word);
}

// A name's identity: a 64-bit hash of the text the token holds, so that
// "a\sb" and a b written as one quoted token name the same label and the
// table keeps no names. Two different names share a hash with a chance of
// about n²/2^65 for n labels (below 10^-7 for a million).
uint64_t HashBytes(std::string_view name) {
  uint64_t h = 0xcbf29ce484222325ull;  // FNV-1a, then a final mix
  for (unsigned char c : name) h = (h ^ c) * 0x100000001b3ull;
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdull;
  h ^= h >> 33;
  return h;
}

uint64_t NameHash(std::string_view token) {
  // Most names are plain ASCII: the text is the token without its quotes,
  // and the conversion from GBK can be left out.
  std::string_view plain = token;
  if (!plain.empty() && plain.front() == '"') {
    plain.remove_prefix(1);
    const size_t close = plain.find('"');
    if (close != std::string_view::npos) plain = plain.substr(0, close);
  }
  bool ascii = true;
  for (unsigned char c : plain) ascii = ascii && c < 0x80 && c != '\\' && c != '"';
  return HashBytes(ascii ? plain : std::string_view(UnquoteToken(token)));
}

// A label while the pass runs: its name's hash and its line, 12 bytes.
struct LabelRecord {
  uint32_t hashLow, hashHigh, index;
  uint64_t hash() const { return static_cast<uint64_t>(hashHigh) << 32 | hashLow; }
};

bool ParseCount(std::string_view t, uint32_t& out) {
  if (t.empty() || t.size() > 10) return false;
  uint64_t v = 0;
  for (char ch : t) {
    if (ch < '0' || ch > '9') return false;
    v = v * 10 + static_cast<uint64_t>(ch - '0');
  }
  if (v < 1 || v > 2147483647u) return false;
  out = static_cast<uint32_t>(v);
  return true;
}

bool IsScriptWord(std::string_view token) {
  return MatchKeyword(token) != ActionKind::Unknown || MatchControlWord(token).has_value();
}

}  // namespace

bool ReadCallArguments(ByteStream& in, CallArguments& out, std::string& error) {
  Word name;
  if (!ReadWordOnLine(in, name)) {
    error = "调用后面缺少脚本文件名";
    return false;
  }
  if (name.size >= kMaxWordBytes) {
    error = "文件名太长（最多 " + std::to_string(kMaxWordBytes - 1) + " 个字节）";
    return false;
  }
  if (IsScriptWord(name.View())) {
    error = "文件名“" + UnquoteToken(name.View()) + "”是脚本中的词，请加引号";
    return false;
  }
  if (!QuotedTokenValid(name.View())) {
    error = kBadEscape;
    return false;
  }
  out.file = UnquoteToken(name.View());
  out.times = 1;
  Word n;
  if (ReadWordOnLine(in, n) && !ParseCount(n.View(), out.times)) {
    error = "调用次数应为 1 到 2147483647 的整数";
    return false;
  }
  if (out.file.empty()) {
    error = "调用后面缺少脚本文件名";
    return false;
  }
  return true;
}

std::vector<std::string_view> ControlWordTexts() {
  std::vector<std::string_view> words;
  for (const ControlEntry& e : kControlWords) words.push_back(e.text);
  return words;
}

std::optional<ControlWord> MatchControlWord(std::string_view word) {
  // Every control word is two to four GBK characters; most words are not.
  if (word.size() < 4 || word.size() > 8) return std::nullopt;
  for (const ControlEntry& e : kControlWords) {
    if (word.size() == e.text.size() && std::memcmp(word.data(), e.text.data(), word.size()) == 0) return e.word;
  }
  return std::nullopt;
}

uint32_t ControlTable::Find(int64_t offset) const {
  std::size_t low = 0, high = lines_.size();  // the first line at or after `offset` is in [low, high]
  while (low < high) {
    const std::size_t mid = low + (high - low) / 2;
    if (lines_[mid].offset() < offset) low = mid + 1;
    else high = mid;
  }
  if (low == lines_.size() || lines_[low].offset() != offset) return kNoControlLine;
  return static_cast<uint32_t>(low);
}

// The pass's state; a class so that the table's lines can be built in place.
class StructurePass {
 public:
  StructurePass(ByteStream& in, const CallCheck& checkCall) : in_(in), checkCall_(checkCall) {}

  Structure Run() {
    in_.Rewind();
    Word w;
    while (!failed() && ReadWord(in_, w)) {
      const std::optional<ControlWord> control = MatchControlWord(w.View());
      if (!control) {
        // A keyword's arguments are its own, whatever they look like.
        ParseAction(w.View(), in_);
        continue;
      }
      const int64_t at = in_.Tell() - static_cast<int64_t>(w.size);
      if (lines().size() >= kNoControlLine - 1) {
        Fail(at, "控制行太多（最多 4294967294 行）");
        break;
      }
      OnControl(*control, at);
    }
    if (!failed() && !open_.empty()) Unclosed();
    if (!failed()) ResolveJumps();
    Structure s;
    s.peakBytes = lines().Bytes() + open_.capacity() * sizeof(uint32_t) +
                  loops_.capacity() * sizeof(uint32_t) + labels_.capacity() * sizeof(LabelRecord);
    if (failed()) {
      s.error = StructureError{LineAt(errorAt_), Message()};
    } else {
      s.table = std::move(table_);
    }
    return s;
  }

 private:
  ControlLines& lines() { return table_.lines_; }
  uint32_t Add(ControlWord word, int64_t at, uint32_t partner = kNoControlLine, uint32_t other = kNoControlLine) {
    const auto length = static_cast<uint32_t>(std::min<int64_t>(in_.Tell() - at, 0xFFFFFFFF));
    lines().push_back(ControlLine(word, at, length));
    lines().back().partner = partner;
    lines().back().other = other;
    return static_cast<uint32_t>(lines().size() - 1);
  }
  ControlWord WordOf(uint32_t index) { return lines()[index].word(); }
  bool IsIfPart(uint32_t index) {
    const ControlWord w = WordOf(index);
    return w == ControlWord::If || w == ControlWord::IfNot || w == ControlWord::Else;
  }
  // The 如果 of an 如果's or 否则's part.
  uint32_t IfOf(uint32_t part) { return WordOf(part) == ControlWord::Else ? lines()[part].other : part; }

  void OnControl(ControlWord word, int64_t at) {
    const uint32_t next = static_cast<uint32_t>(lines().size());
    switch (word) {
      case ControlWord::If:
      case ControlWord::IfNot: return OnIf(word, at);
      case ControlWord::Else: {
        if (open_.empty()) return Fail(at, "否则不在如果和结束如果之间");
        const uint32_t top = open_.back();
        if (WordOf(top) == ControlWord::Else) return Fail(at, "一个如果只能有一个否则（已有否则：", top, "）");
        if (WordOf(top) == ControlWord::Repeat) return Fail(at, "否则之前，", top, "的重复还没有结束重复");
        lines()[top].other = next;
        open_.back() = Add(word, at, kNoControlLine, top);
        return;
      }
      case ControlWord::EndIf: {
        if (open_.empty()) return Fail(at, "结束如果没有对应的如果");
        const uint32_t top = open_.back();
        if (!IsIfPart(top)) return Fail(at, "结束如果之前，", top, "的重复还没有结束重复");
        const uint32_t ifLine = IfOf(top);
        lines()[top].partner = next;
        lines()[ifLine].partner = next;
        Add(word, at, ifLine);
        open_.pop_back();
        return;
      }
      case ControlWord::Repeat: {
        uint32_t count = 0;
        Word n;
        if (ReadWordOnLine(in_, n) && !ParseCount(n.View(), count))
          return Fail(at, "重复次数应为 1 到 2147483647 的整数");
        open_.push_back(Add(word, at, kNoControlLine, count));
        loops_.push_back(open_.back());
        return;
      }
      case ControlWord::EndRepeat: {
        if (open_.empty()) return Fail(at, "结束重复没有对应的重复");
        const uint32_t top = open_.back();
        if (IsIfPart(top)) return Fail(at, "结束重复之前，", IfOf(top), "的如果还没有结束如果");
        lines()[top].partner = next;
        Add(word, at, top);
        open_.pop_back();
        loops_.pop_back();
        return;
      }
      case ControlWord::BreakRepeat:
        if (loops_.empty()) return Fail(at, "跳出重复不在重复和结束重复之间");
        Add(word, at, loops_.back());
        return;
      case ControlWord::Call: return OnCall(at);
      case ControlWord::EndPlay: return;
      case ControlWord::Label:
      case ControlWord::JumpTo: return OnName(word, at);
    }
  }

  // 如果 or 如果不 and the wait word it asks.
  void OnIf(ControlWord word, int64_t at) {
    const uint32_t self = Add(word, at);
    Word wait;
    if (!ReadWordOnLine(in_, wait) || !IsWaitWord(MatchKeyword(wait.View()))) {
      return Fail(at, std::string(word == ControlWord::If ? "如果" : "如果不") +
                          "后面应是等待词：等待窗口、等待颜色、等待图像、点击图像或等待按键");
    }
    ParseAction(wait.View(), in_);
    open_.push_back(self);
  }

  void OnCall(int64_t at) {
    CallArguments call;
    std::string error;
    if (!ReadCallArguments(in_, call, error)) return Fail(at, std::move(error));
    if (checkCall_) {
      if (std::optional<std::string> wrong = checkCall_(call.file)) return Fail(at, std::move(*wrong));
    }
  }

  // 标签 or 跳到 and its name.
  void OnName(ControlWord word, int64_t at) {
    const char* const what = word == ControlWord::Label ? "标签" : "跳到";
    Word name;
    if (!ReadWordOnLine(in_, name)) return Fail(at, std::string(what) + "后面缺少名字");
    if (name.size >= kMaxWordBytes) return Fail(at, "名字太长（最多 " + std::to_string(kMaxWordBytes - 1) + " 个字节）");
    // A bare name that is a word would be read as that word by a copy that
    // does not know labels.
    if (IsScriptWord(name.View())) return Fail(at, "名字“" + UnquoteToken(name.View()) + "”是脚本中的词，请加引号");
    if (!QuotedTokenValid(name.View()))
      return Fail(at, kBadEscape);
    const uint64_t h = NameHash(name.View());
    const auto low = static_cast<uint32_t>(h), high = static_cast<uint32_t>(h >> 32);
    if (word == ControlWord::Label) {
      const uint32_t part = open_.empty() ? kNoControlLine : open_.back();
      labels_.push_back({low, high, Add(word, at, part, static_cast<uint32_t>(loops_.size()))});
    } else {
      // The name's hash waits in the line until all labels are known.
      Add(word, at, low, high);
    }
  }

  // The last line of a block part: where it stops.
  uint32_t PartEnd(uint32_t part) {
    const ControlLine& l = lines()[part];
    if (l.word() == ControlWord::If || l.word() == ControlWord::IfNot)
      return l.other != kNoControlLine ? l.other : l.partner;
    return l.partner;
  }

  void ResolveJumps() {
    std::sort(labels_.begin(), labels_.end(), [](const LabelRecord& a, const LabelRecord& b) {
      return a.hash() != b.hash() ? a.hash() < b.hash() : a.index < b.index;
    });
    // The first wrong line by its place: a second label of a name, a jump to
    // no label or into a block. Its message is made once it is known (names
    // and lines are read again from the script).
    enum class Wrong { Twice, NoLabel, IntoBlock } wrong{};
    uint32_t worst = kNoControlLine, ref = kNoControlLine;
    auto note = [&](uint32_t index, Wrong what, uint32_t other) {
      if (index < worst) std::tie(worst, wrong, ref) = std::tuple(index, what, other);
    };
    for (size_t i = 1; i < labels_.size(); ++i) {
      if (labels_[i].hash() == labels_[i - 1].hash()) note(labels_[i].index, Wrong::Twice, labels_[i - 1].index);
    }
    for (uint32_t j = 0; j < lines().size(); ++j) {
      ControlLine& jump = lines()[j];
      if (jump.word() != ControlWord::JumpTo) continue;
      const uint64_t h = static_cast<uint64_t>(jump.other) << 32 | jump.partner;
      const auto it = std::lower_bound(labels_.begin(), labels_.end(), h,
                                       [](const LabelRecord& l, uint64_t v) { return l.hash() < v; });
      if (it == labels_.end() || it->hash() != h) {
        note(j, Wrong::NoLabel, kNoControlLine);
        continue;
      }
      const uint32_t part = lines()[it->index].partner;
      if (part != kNoControlLine && !(part < j && j < PartEnd(part))) {
        note(j, Wrong::IntoBlock, part);
        continue;
      }
      jump.partner = it->index;
      jump.other = kNoControlLine;
    }
    if (worst == kNoControlLine) return;
    const std::string name = NameAt(worst);
    switch (wrong) {
      case Wrong::Twice: Fail(lines()[worst].offset(), "标签“" + name + "”重复（已有：" + LineText(ref) + "）"); break;
      case Wrong::NoLabel: Fail(lines()[worst].offset(), "没有名为“" + name + "”的标签"); break;
      case Wrong::IntoBlock:
        Fail(lines()[worst].offset(), "不能跳进块内：标签“" + name + "”在" + LineText(ref) + "开始的块中");
        break;
    }
  }

  // At the end of the script, the innermost block still open.
  void Unclosed() {
    const uint32_t top = open_.back();
    if (IsIfPart(top)) {
      const uint32_t ifLine = IfOf(top);
      Fail(lines()[ifLine].offset(), std::string(WordOf(ifLine) == ControlWord::If ? "如果" : "如果不") +
                                         "没有对应的结束如果");
    } else {
      Fail(lines()[top].offset(), "重复没有对应的结束重复");
    }
  }

  bool failed() const { return errorAt_ >= 0; }
  void Fail(int64_t at, std::string text) {
    errorAt_ = at;
    error_ = std::move(text);
  }
  // A message that names another control line ("第 K 行"): its line is
  // counted when the message is made.
  void Fail(int64_t at, const char* before, uint32_t index, const char* after) {
    errorAt_ = at;
    error_ = before;
    errorRef_ = index;
    errorAfter_ = after;
  }
  std::string Message() {
    if (errorRef_ == kNoControlLine) return error_;
    return error_ + LineText(errorRef_) + errorAfter_;
  }
  std::string LineText(uint32_t index) { return "第 " + std::to_string(LineAt(lines()[index].offset())) + " 行"; }

  // The line (from 1) of a byte: one more read up to it.
  int64_t LineAt(int64_t offset) {
    in_.Rewind();
    int64_t line = 1;
    for (int64_t i = 0; i < offset; ++i) {
      const int c = in_.Get();
      if (c == kEnd) break;
      if (c == '\n') ++line;
    }
    return line;
  }
  // The name on a label's or jump's line, as UTF-8.
  std::string NameAt(uint32_t index) {
    Word w;
    if (!in_.Seek(lines()[index].offset()) || !ReadWord(in_, w) || !ReadWord(in_, w)) return "";
    return UnquoteToken(w.View());
  }

  ByteStream& in_;
  const CallCheck& checkCall_;
  ControlTable table_;
  std::vector<uint32_t> open_;   // the block parts open now, innermost last
  std::vector<uint32_t> loops_;  // the 重复 among them
  std::vector<LabelRecord> labels_;
  int64_t errorAt_ = -1;
  std::string error_;
  uint32_t errorRef_ = kNoControlLine;
  const char* errorAfter_ = "";
};

Structure ReadStructure(ByteStream& in, const CallCheck& checkCall) { return StructurePass(in, checkCall).Run(); }

}  // namespace tesmuro::script
