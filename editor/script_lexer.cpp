#include "editor/script_lexer.h"

#include <algorithm>

#include "script/control_table.h"
#include "script/script_format.h"
#include "script/script_stream.h"
#include "script/word_reader.h"

namespace tesmuro::editor {
namespace {

// Hands the reader one byte per refill, so the number of refills tells how
// far the reader has got.
class CountingStream final : public script::ByteStream {
 public:
  explicit CountingStream(std::string_view data) : data_(data) {}

  // Bytes the reader has taken (a byte it put back is not taken).
  size_t Consumed() {
    const size_t served = served_;
    if (served == 0) return 0;
    // A byte that was put back comes from the buffer without a refill.
    const int c = Get();
    if (c != kEnd && served_ == served) return served - 1;
    return served;
  }

 private:
  bool Refill() override {
    if (served_ >= data_.size()) return false;
    SetBuffer(data_.data() + served_, data_.data() + served_ + 1, static_cast<int64_t>(served_));
    ++served_;
    return true;
  }
  void DoRewind() override { served_ = 0; }

  std::string_view data_;
  size_t served_ = 0;
};

bool IsDigitOrSign(char c) { return (c >= '0' && c <= '9') || c == '+' || c == '-'; }

// The next token of `line` from `pos` (white space skipped), or an empty one
// at the line's end.
std::string_view NextToken(std::string_view line, size_t& pos) {
  while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
  size_t end = pos;
  while (end < line.size() && !script::IsScriptSpace(static_cast<unsigned char>(line[end]))) ++end;
  const std::string_view t = line.substr(pos, end - pos);
  pos = end;
  return t;
}

bool IsCount(std::string_view t) {
  if (t.empty() || t.size() > 10 || t == "0") return false;
  uint64_t v = 0;
  for (char c : t) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  return v >= 1 && v <= 2147483647u;
}

// A control word's own arguments after it (from `pos`): where they end, and
// whether the player would refuse them.
size_t ControlArguments(script::ControlWord w, std::string_view line, size_t pos, bool& bad) {
  using W = script::ControlWord;
  auto name = [&](std::string_view t) {
    return !t.empty() && t.size() < script::kMaxWordBytes && script::QuotedTokenValid(t);
  };
  size_t at = pos;
  switch (w) {
    case W::Repeat: {
      const std::string_view n = NextToken(line, at);
      bad = !n.empty() && !IsCount(n);
      return n.empty() ? pos : at;
    }
    case W::Label:
    case W::JumpTo:
      bad = !name(NextToken(line, at));
      return at;
    case W::Call: {
      bad = !name(NextToken(line, at));
      size_t more = at;
      const std::string_view n = NextToken(line, more);
      if (n.empty()) return at;
      bad = bad || !IsCount(n);
      return more;
    }
    default:
      return pos;
  }
}

}  // namespace

std::optional<StructureMark> ScriptStructureError(std::string_view text) {
  script::MemoryByteStream in{std::string(text)};
  const script::Structure s = script::ReadStructure(in);
  if (!s.error) return std::nullopt;
  return StructureMark{s.error->line - 1, "第 " + std::to_string(s.error->line) + " 行：" + s.error->message};
}

void StyleScriptLine(std::string_view line, ScriptStyle* styles) {
  const size_t n = line.size();
  size_t pos = 0;
  while (pos < n) {
    if (script::IsScriptSpace(static_cast<unsigned char>(line[pos]))) {
      styles[pos++] = ScriptStyle::Default;
      continue;
    }
    size_t end = pos;
    while (end < n && !script::IsScriptSpace(static_cast<unsigned char>(line[end]))) ++end;
    // The reader keeps a word's first bytes only; no keyword is that long.
    const std::string_view word = line.substr(pos, std::min(end - pos, script::kMaxWordBytes));
    if (const std::optional<script::ControlWord> control = script::MatchControlWord(word)) {
      bool bad = false;
      const size_t argsEnd = ControlArguments(*control, line, end, bad);
      for (size_t i = pos; i < argsEnd; ++i) {
        const bool space = script::IsScriptSpace(static_cast<unsigned char>(line[i]));
        styles[i] = space ? ScriptStyle::Default
                    : bad ? ScriptStyle::Error
                    : i < end ? ScriptStyle::Control
                    : IsDigitOrSign(line[i]) ? ScriptStyle::Number : ScriptStyle::Default;
      }
      pos = argsEnd;
      continue;
    }
    const script::ActionKind kind = script::MatchKeyword(word);
    if (kind == script::ActionKind::Unknown) {
      std::fill(styles + pos, styles + end, ScriptStyle::Skipped);
      pos = end;
      continue;
    }
    CountingStream args(line.substr(end));
    const script::Action action = script::ParseAction(word, args);
    const size_t argsEnd = end + std::min(args.Consumed(), n - end);
    if (action.kind == script::ActionKind::ConversionError || action.badRange || action.badText || action.badKey ||
        (action.kind == script::ActionKind::WaitColor && action.badColor)) {
      for (size_t i = pos; i < argsEnd; ++i)
        styles[i] = script::IsScriptSpace(static_cast<unsigned char>(line[i])) ? ScriptStyle::Default
                                                                                : ScriptStyle::Error;
    } else {
      std::fill(styles + pos, styles + end, ScriptStyle::Keyword);
      for (size_t i = end; i < argsEnd; ++i)
        styles[i] = IsDigitOrSign(line[i]) ? ScriptStyle::Number : ScriptStyle::Default;
    }
    pos = argsEnd;
  }
}

}  // namespace tesmuro::editor
