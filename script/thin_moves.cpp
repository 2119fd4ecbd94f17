#include "script/thin_moves.h"

#include <algorithm>
#include <vector>

#include "script/script_format.h"

namespace tesmuro::script {

namespace {

constexpr int64_t kMaxDelay = INT32_MAX;
// Positions further out than this are no screen's; such a move is left alone
// (and ends its run), which keeps every product below in 64 bits.
constexpr int64_t kMaxCoordinate = (int64_t{1} << 28) - 1;
// The longest stretch of moves simplified as one: a path shaped to make every
// split peel off a single point then costs at most this many looks per move.
constexpr size_t kMaxStretch = 1024;

enum class LineKind : uint8_t { Other, Delay, Move };

struct Line {
  LineKind kind = LineKind::Other;
  int64_t value = 0;       // Delay: the milliseconds
  size_t numberBegin = 0;  // Delay: where its digits stand in the script
  size_t numberEnd = 0;
  int64_t x = 0, y = 0;    // Move
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Unsigned decimal digits at `pos`, at most `limit`. False when there are none
// or the value passes the limit.
bool ReadNumber(std::string_view s, size_t& pos, int64_t limit, int64_t& value) {
  const size_t start = pos;
  value = 0;
  while (pos < s.size() && IsDigit(s[pos])) {
    value = value * 10 + (s[pos] - '0');
    if (value > limit) return false;
    ++pos;
  }
  return pos > start;
}

bool ReadSigned(std::string_view s, size_t& pos, int64_t& value) {
  const bool negative = pos < s.size() && s[pos] == '-';
  if (negative) ++pos;
  if (!ReadNumber(s, pos, kMaxCoordinate, value)) return false;
  if (negative) value = -value;
  return true;
}

// After the keyword: at least one blank; returns the position after them.
bool SkipKeyword(std::string_view s, size_t& pos, std::string_view keyword) {
  if (s.substr(pos, keyword.size()) != keyword) return false;
  pos += keyword.size();
  if (pos >= s.size() || !IsBlank(s[pos])) return false;
  while (pos < s.size() && IsBlank(s[pos])) ++pos;
  return true;
}

bool OnlyBlanksLeft(std::string_view s, size_t pos) {
  for (; pos < s.size(); ++pos)
    if (!IsBlank(s[pos]) && s[pos] != '\r') return false;
  return true;
}

// Reads one line (without its '\n') as a plain `延迟 N` or `移动 X,Y`;
// anything else is Other. `offset` is where the line starts in the script.
Line Classify(std::string_view s, size_t offset) {
  Line line;
  size_t pos = 0;
  while (pos < s.size() && IsBlank(s[pos])) ++pos;
  const size_t start = pos;
  if (SkipKeyword(s, pos, kKeywordDelay)) {
    const size_t digits = pos;
    int64_t v;
    if (ReadNumber(s, pos, kMaxDelay, v) && OnlyBlanksLeft(s, pos)) {
      line.kind = LineKind::Delay;
      line.value = v;
      line.numberBegin = offset + digits;
      line.numberEnd = offset + pos;
    }
    return line;
  }
  pos = start;
  if (SkipKeyword(s, pos, kKeywordMove)) {
    int64_t x, y;
    if (ReadSigned(s, pos, x) && pos < s.size() && s[pos] == ',' && (++pos, ReadSigned(s, pos, y)) &&
        OnlyBlanksLeft(s, pos)) {
      line.kind = LineKind::Move;
      line.x = x;
      line.y = y;
    }
  }
  return line;
}

// A move of the run being read, with the delay lines right before it.
struct RunMove {
  int64_t x = 0, y = 0;
  size_t begin = 0;       // its first delay line, or the move line when it has none
  size_t lineBegin = 0;   // the move line
  size_t end = 0;         // after the move line's end
  bool crlf = false;      // the move line ends in CR LF
  size_t delayLines = 0;
  int64_t delaySum = 0;
  int64_t lastDelay = 0;  // the delay line right before the move
  size_t lastBegin = 0, lastEnd = 0;  // its digits
};

// 64 x 64 -> 128 bit products, compared exactly.
struct Wide {
  uint64_t hi, lo;
};
Wide Multiply(uint64_t a, uint64_t b) {
  const uint64_t a0 = a & 0xFFFFFFFFu, a1 = a >> 32, b0 = b & 0xFFFFFFFFu, b1 = b >> 32;
  const uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
  const uint64_t middle = (p00 >> 32) + (p01 & 0xFFFFFFFFu) + (p10 & 0xFFFFFFFFu);
  return {p11 + (p01 >> 32) + (p10 >> 32) + (middle >> 32), (middle << 32) | (p00 & 0xFFFFFFFFu)};
}
bool Greater(Wide a, Wide b) { return a.hi != b.hi ? a.hi > b.hi : a.lo > b.lo; }

// Distance of points from the segment between two kept moves.
class Segment {
 public:
  Segment(const RunMove& a, const RunMove& b, int64_t tolerance)
      : ax_(a.x), ay_(a.y), bx_(b.x), by_(b.y), dx_(b.x - a.x), dy_(b.y - a.y),
        length2_(dx_ * dx_ + dy_ * dy_), tolerance2_(tolerance * tolerance),
        limit_(Multiply(static_cast<uint64_t>(tolerance2_), static_cast<uint64_t>(length2_))) {}

  // The squared distance (for finding the farthest point) and, exactly,
  // whether it is beyond the tolerance.
  double Distance2(const RunMove& p, bool& beyond) const {
    const int64_t vx = p.x - ax_, vy = p.y - ay_;
    const int64_t along = vx * dx_ + vy * dy_;
    if (length2_ == 0 || along <= 0) return Point(vx * vx + vy * vy, beyond);
    if (along >= length2_) {
      const int64_t wx = p.x - bx_, wy = p.y - by_;
      return Point(wx * wx + wy * wy, beyond);
    }
    const int64_t cross = dx_ * vy - dy_ * vx;
    const uint64_t c = static_cast<uint64_t>(cross < 0 ? -cross : cross);
    beyond = Greater(Multiply(c, c), limit_);
    return static_cast<double>(cross) * static_cast<double>(cross) / static_cast<double>(length2_);
  }

 private:
  double Point(int64_t d2, bool& beyond) const {
    beyond = d2 > tolerance2_;
    return static_cast<double>(d2);
  }
  int64_t ax_, ay_, bx_, by_, dx_, dy_, length2_, tolerance2_;
  Wide limit_;
};

// Marks the moves of a run to keep: the ends, the moves a carried delay could
// not pass (so no delay line ever goes beyond kMaxDelay), one in every
// kMaxStretch, and what the simplification between those keeps.
void ChooseMoves(const std::vector<RunMove>& run, int64_t tolerance, std::vector<char>& keep) {
  const size_t n = run.size();
  keep.assign(n, 0);
  keep[0] = keep[n - 1] = 1;
  // Between two kept moves all carried delays land on moves in between, whose
  // delays then add up to at most the stretch's total: keep that total within
  // a delay line's reach.
  int64_t total = 0;
  size_t anchor = 0;
  for (size_t i = 1; i < n; ++i) {
    if (run[i].delaySum > kMaxDelay) {
      keep[i - 1] = keep[i] = 1;
      total = 0;
      anchor = i;
      continue;
    }
    if (total + run[i].delaySum > kMaxDelay || i - anchor >= kMaxStretch) {
      keep[i - 1] = 1;
      total = 0;
      anchor = i - 1;
    }
    total += run[i].delaySum;
  }

  std::vector<std::pair<size_t, size_t>> stack;
  size_t a = 0;
  for (size_t b = 1; b < n; ++b) {
    if (!keep[b]) continue;
    stack.emplace_back(a, b);
    a = b;
  }
  while (!stack.empty()) {
    const auto [first, last] = stack.back();
    stack.pop_back();
    if (last - first < 2) continue;
    const Segment segment(run[first], run[last], tolerance);
    double farthest = -1;
    size_t split = first + 1;
    bool anyBeyond = false;
    for (size_t i = first + 1; i < last; ++i) {
      bool beyond;
      const double d = segment.Distance2(run[i], beyond);
      anyBeyond |= beyond;
      if (d > farthest) farthest = d, split = i;
    }
    if (!anyBeyond) continue;
    keep[split] = 1;
    stack.emplace_back(first, split);
    stack.emplace_back(split, last);
  }
}

class Thinner {
 public:
  Thinner(std::string_view script, int32_t tolerance) : in_(script), tolerance_(tolerance) {
    out_.reserve(script.size());
  }

  ThinResult Run() {
    size_t lines = 0;
    bool pending = false;  // delay lines read since the last move
    RunMove next;
    for (size_t pos = 0; pos < in_.size();) {
      size_t eol = in_.find('\n', pos);
      const size_t end = eol == std::string_view::npos ? in_.size() : eol + 1;
      const size_t contentEnd = eol == std::string_view::npos ? in_.size() : eol;
      ++lines;
      const Line line = Classify(in_.substr(pos, contentEnd - pos), pos);
      if (line.kind == LineKind::Delay) {
        if (!pending) next = RunMove{}, next.begin = pos, pending = true;
        ++next.delayLines;
        next.delaySum += line.value;
        next.lastDelay = line.value;
        next.lastBegin = line.numberBegin;
        next.lastEnd = line.numberEnd;
      } else if (line.kind == LineKind::Move) {
        if (!pending) next = RunMove{}, next.begin = pos;
        next.x = line.x;
        next.y = line.y;
        next.lineBegin = pos;
        next.end = end;
        next.crlf = contentEnd > pos && in_[contentEnd - 1] == '\r';
        run_.push_back(next);
        pending = false;
      } else {
        FlushRun();
        pending = false;
      }
      pos = end;
    }
    FlushRun();
    out_.append(in_.substr(copied_));
    ThinResult result;
    result.keptLines = lines - removed_ + inserted_;
    result.removedLines = removed_ - inserted_;
    result.bytes = std::move(out_);
    return result;
  }

 private:
  void FlushRun() {
    if (run_.empty()) return;
    out_.append(in_.substr(copied_, run_.front().begin - copied_));
    ChooseMoves(run_, tolerance_, keep_);
    int64_t carried = 0;
    bool crlf = false;  // the line end of a delay line that has to be written anew
    for (size_t i = 0; i < run_.size(); ++i) {
      const RunMove& m = run_[i];
      if (!keep_[i]) {
        if (carried == 0) crlf = m.crlf;
        carried += m.delaySum;
        removed_ += m.delayLines + 1;
        continue;
      }
      if (carried == 0) {
        out_.append(in_.substr(m.begin, m.end - m.begin));
      } else if (m.delayLines > 0) {
        out_.append(in_.substr(m.begin, m.lastBegin - m.begin));
        out_.append(std::to_string(m.lastDelay + carried));
        out_.append(in_.substr(m.lastEnd, m.end - m.lastEnd));
      } else {
        out_.append(DelayLine(static_cast<int32_t>(carried)));
        out_.append(crlf ? "\r\n" : "\n");
        ++inserted_;
        out_.append(in_.substr(m.begin, m.end - m.begin));
      }
      carried = 0;
    }
    copied_ = run_.back().end;
    run_.clear();
  }

  std::string_view in_;
  int64_t tolerance_;
  std::string out_;
  size_t copied_ = 0;  // what of the script is written out already
  std::vector<RunMove> run_;
  std::vector<char> keep_;
  size_t removed_ = 0, inserted_ = 0;
};

}  // namespace

ThinResult ThinMoves(std::string_view script, int32_t tolerancePx) {
  return Thinner(script, std::clamp(tolerancePx, 0, kMaxThinTolerance)).Run();
}

std::optional<int32_t> ParseThinTolerance(std::string_view typed) {
  auto space = [](char c) { return c == ' ' || c == '\t'; };
  while (!typed.empty() && space(typed.front())) typed.remove_prefix(1);
  while (!typed.empty() && space(typed.back())) typed.remove_suffix(1);
  if (typed.empty()) return std::nullopt;
  int64_t n = 0;
  for (char c : typed) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
    if (n > kMaxThinTolerance) return std::nullopt;  // stops long before any overflow
  }
  return static_cast<int32_t>(n);
}

std::string ThinToleranceRefusal() {
  return "容差无效：请输入 0 到 " + std::to_string(kMaxThinTolerance) + " 之间的整数（像素）。";
}

std::string ThinStatusText(size_t removedLines, size_t keptLines) {
  return "删除了 " + std::to_string(removedLines) + " 行，剩 " + std::to_string(keptLines) + " 行";
}

}  // namespace tesmuro::script
