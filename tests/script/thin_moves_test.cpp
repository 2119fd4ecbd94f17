// Thinning of recorded paths, checked on random recordings against what a
// player sees: the same actions at the same times at the same places.
#include "script/thin_moves.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "support/gbk_script.h"

namespace tesmuro::script {
namespace {

using test::GbkScript;

// A line as the player takes it.
struct Seen {
  enum Kind { Delay, Move, Other } kind;
  std::string bytes;  // with its line end
  long value = 0;     // Delay
  long x = 0, y = 0;  // Move
};

std::vector<Seen> Read(const std::string& script) {
  std::vector<Seen> lines;
  for (size_t pos = 0; pos < script.size();) {
    const size_t nl = script.find('\n', pos);
    const size_t end = nl == std::string::npos ? script.size() : nl + 1;
    Seen s{Seen::Other, script.substr(pos, end - pos)};
    const std::string& b = s.bytes;
    char* rest = nullptr;
    if (b.compare(0, kKeywordDelay.size(), kKeywordDelay) == 0 && b[kKeywordDelay.size()] == ' ') {
      s.value = std::strtol(b.c_str() + kKeywordDelay.size(), &rest, 10);
      if (s.value >= 0) s.kind = Seen::Delay;
    } else if (b.compare(0, kKeywordMove.size(), kKeywordMove) == 0 && b[kKeywordMove.size()] == ' ') {
      s.x = std::strtol(b.c_str() + kKeywordMove.size(), &rest, 10);
      if (*rest == ',') s.kind = Seen::Move, s.y = std::strtol(rest + 1, &rest, 10);
      if (*rest != '\r' && *rest != '\n') s.kind = Seen::Other;  // "移动 3, 4" and the like
    }
    lines.push_back(s);
    pos = end;
  }
  return lines;
}

// A recording: curved paths of small steps, a few milliseconds apart, with
// clicks, keys and the odd line between them.
std::string RandomRecording(uint32_t seed, const char* eol) {
  std::mt19937 rng(seed);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  std::string s = GbkScript("屏幕 0,0,1920,1080,96") + eol;
  auto add = [&](const std::string& utf8) { s += GbkScript(utf8) + eol; };
  double x = 500, y = 400;
  for (int stroke = 0; stroke < 40; ++stroke) {
    const double turn = pick(-40, 40) / 1000.0, speed = pick(1, 12);
    double heading = pick(0, 628) / 100.0;
    const int steps = pick(1, 120);
    for (int i = 0; i < steps; ++i) {
      heading += turn;
      x += speed * std::cos(heading) + pick(-1, 1) * 0.5;
      y += speed * std::sin(heading);
      const int delays = pick(0, 9) == 0 ? pick(0, 2) : 1;  // now and then none, or two
      for (int d = 0; d < delays; ++d) add("延迟 " + std::to_string(pick(0, 16)));
      if (pick(0, 60) == 0) add(pick(0, 1) ? "移动 3, 4" : "相对移动 2,1");  // not read as a position
      add("移动 " + std::to_string(std::lround(x)) + "," + std::to_string(std::lround(y)));
    }
    add("延迟 " + std::to_string(pick(0, 300)));
    switch (pick(0, 4)) {
      case 0: add("左键按下"); add("延迟 90"); add("左键释放"); break;
      case 1: add("按键按下 65 30 0 0 0"); break;
      case 2: add("鼠标滚轮 -120 0 0"); break;
      case 3: s += "; a note" + std::string(eol) + eol; break;
      case 4: add("窗口 x11 \"xterm\" \"XTerm\" \"t\" 0,0,10,10"); break;
    }
  }
  return s;
}

double DistanceToSegment(const Seen& p, const Seen& a, const Seen& b) {
  const double dx = b.x - a.x, dy = b.y - a.y, len2 = dx * dx + dy * dy;
  double t = len2 == 0 ? 0 : ((p.x - a.x) * dx + (p.y - a.y) * dy) / len2;
  t = std::fmax(0, std::fmin(1, t));
  return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

// Every action other than a move at its time and position, and every move at its time.
struct Timeline {
  struct Entry {
    const Seen* line;
    long time;
    long x, y;  // where the pointer is (the last move before it)
  };
  std::vector<Entry> others, moves;
  long total = 0;
  explicit Timeline(const std::vector<Seen>& lines) {
    long x = -1, y = -1;
    for (const Seen& s : lines) {
      if (s.kind == Seen::Delay) total += s.value;
      if (s.kind == Seen::Move) x = s.x, y = s.y, moves.push_back({&s, total, x, y});
      if (s.kind == Seen::Other) others.push_back({&s, total, x, y});
    }
  }
};

TEST(ThinMoves, RandomRecordingsKeepEveryActionItsTimeAndPlace) {
  for (uint32_t seed = 1; seed <= 8; ++seed) {
    const char* eol = seed % 2 ? "\r\n" : "\n";
    const int tolerance = std::vector<int>{0, 1, 2, 5}[seed % 4];
    SCOPED_TRACE("seed " + std::to_string(seed) + " tolerance " + std::to_string(tolerance));
    const std::string script = RandomRecording(seed, eol);
    const ThinResult r = ThinMoves(script, tolerance);
    const std::vector<Seen> before = Read(script), after = Read(r.bytes);
    EXPECT_EQ(r.keptLines, after.size());
    EXPECT_EQ(r.removedLines + r.keptLines, before.size());
    if (tolerance > 0) EXPECT_GT(r.removedLines, before.size() / 5);
    for (const Seen& s : after) EXPECT_EQ(s.bytes.back() == '\n' && s.bytes.find('\r') == std::string::npos,
                                          std::string(eol) == "\n") << s.bytes;

    const Timeline a(before), b(after);
    EXPECT_EQ(b.total, a.total);
    ASSERT_EQ(b.others.size(), a.others.size());
    for (size_t i = 0; i < a.others.size(); ++i) {
      EXPECT_EQ(b.others[i].line->bytes, a.others[i].line->bytes);
      EXPECT_EQ(b.others[i].time, a.others[i].time) << a.others[i].line->bytes;
      EXPECT_EQ(b.others[i].x, a.others[i].x) << a.others[i].line->bytes;
      EXPECT_EQ(b.others[i].y, a.others[i].y) << a.others[i].line->bytes;
    }
    // The kept moves are recorded moves at their own times; each run keeps its
    // ends and every move left out lies within the tolerance of the straight
    // line between the kept ones around it.
    size_t k = 0, mi = 0;
    const Seen* lastKept = nullptr;
    std::vector<const Seen*> left;
    for (const Seen& s : before) {
      if (s.kind == Seen::Other) {
        ASSERT_TRUE(left.empty()) << "the last move before " << s.bytes << " was taken out";
        lastKept = nullptr;
      }
      if (s.kind != Seen::Move) continue;
      const Timeline::Entry& m = a.moves[mi++];
      const bool kept = k < b.moves.size() && b.moves[k].x == m.x && b.moves[k].y == m.y && b.moves[k].time == m.time;
      if (!kept) {
        ASSERT_NE(lastKept, nullptr) << "the first move of a run was taken out: " << s.bytes;
        left.push_back(&s);
        continue;
      }
      for (const Seen* p : left) EXPECT_LE(DistanceToSegment(*p, *lastKept, s), tolerance + 1e-9) << p->bytes;
      left.clear();
      lastKept = &s;
      ++k;
    }
    EXPECT_EQ(k, b.moves.size()) << "a move that was not recorded";
  }
}

TEST(ThinMoves, PathsByHand) {
  // A straight run collapses to its ends; the last keeps the whole time.
  std::string straight;
  for (int i = 0; i <= 300; ++i) straight += "延迟 3\r\n移动 " + std::to_string(100 + i) + "," + std::to_string(50 + 2 * i) + "\r\n";
  ThinResult r = ThinMoves(GbkScript(straight + "左键按下\r\n"), 0);
  EXPECT_EQ(r.bytes, GbkScript("延迟 3\r\n移动 100,50\r\n延迟 900\r\n移动 400,650\r\n左键按下\r\n"));
  EXPECT_EQ(r.removedLines, 598u);
  EXPECT_EQ(r.keptLines, 5u);

  // Tolerance 0 takes out only points on the segment: not (3,2) nor (5,0),
  // which lies on the line but beyond its end. A kept move without a delay
  // line gets one.
  r = ThinMoves(GbkScript("移动 0,0\n延迟 4\n移动 1,1\n延迟 5\n移动 2,2\n移动 3,2\n移动 5,0\n移动 4,0\n"), 0);
  EXPECT_EQ(r.bytes, GbkScript("移动 0,0\n延迟 9\n移动 2,2\n移动 3,2\n移动 5,0\n移动 4,0\n"));
  r = ThinMoves(GbkScript("移动 0,0\n延迟 4\n移动 1,1\n延迟 5\n移动 2,2\n移动 3,3\n移动 4,3\n"), 0);
  EXPECT_EQ(r.bytes, GbkScript("移动 0,0\n延迟 9\n移动 3,3\n移动 4,3\n"));
  r = ThinMoves(GbkScript("移动 0,0\n延迟 4\n移动 1,1\n移动 2,2\n"), 1);
  EXPECT_EQ(r.bytes, GbkScript("移动 0,0\n延迟 4\n移动 2,2\n"));

  // A delay that would pass what a line holds stays with its move; what a
  // thinner does not read as a plain move or delay ends the run untouched.
  const std::string big = GbkScript("移动 0,0\n延迟 2000000000\n移动 1,0\n延迟 2000000000\n移动 2,0\n");
  EXPECT_EQ(ThinMoves(big, 2).bytes, big);
  EXPECT_EQ(ThinMoves(GbkScript("移动 0,0\n移动 1,0\n移动 2,0\n延迟 -5\n移动 3,0\n移动 4,0\n移动 5, 0\n移动 6,0\n"
                                "移动 7,0\n移动 8,0x\n移动 9,0\n移动 300000000,0\n移动 9,0\n移动 10,0\n移动 11,0\n"), 2).bytes,
            GbkScript("移动 0,0\n移动 2,0\n延迟 -5\n移动 3,0\n移动 4,0\n移动 5, 0\n移动 6,0\n"
                      "移动 7,0\n移动 8,0x\n移动 9,0\n移动 300000000,0\n移动 9,0\n移动 11,0\n"));
  EXPECT_EQ(ThinMoves(GbkScript("移动 0,0\n延迟  7 \r\n移动 1,0\n延迟 1\n移动 2,0"), 2).bytes,
            GbkScript("移动 0,0\n延迟 8\n移动 2,0"));
}

TEST(ThinMoves, ToleranceIsAWholeNumberOfPixelsInItsRange) {
  EXPECT_EQ(ParseThinTolerance("2"), 2);
  EXPECT_EQ(ParseThinTolerance("0"), 0);
  EXPECT_EQ(ParseThinTolerance(" 007\t"), 7);
  EXPECT_EQ(ParseThinTolerance("10000"), kMaxThinTolerance);
  for (const char* bad : {"", "  ", "10001", "-1", "+3", "2.5", "2 px", "3 4", "１２", "99999999999999999999999"})
    EXPECT_EQ(ParseThinTolerance(bad), std::nullopt) << bad;
  EXPECT_EQ(ThinToleranceRefusal(), "容差无效：请输入 0 到 10000 之间的整数（像素）。");
  EXPECT_EQ(ThinStatusText(998, 1002), "删除了 998 行，剩 1002 行");
}

}  // namespace
}  // namespace tesmuro::script
