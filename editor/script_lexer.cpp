#include "editor/script_lexer.h"

#include <algorithm>

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

}  // namespace

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
