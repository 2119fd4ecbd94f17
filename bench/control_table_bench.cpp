// The structure pass over a 1,000,000-line script, read from a file as the
// player reads it: the time of the pass (best of five) and the memory per
// control line (the table kept for the run, and the pass's peak).
//
// Two scripts: a recording with control lines among its actions (seven lines
// in 25 control lines: loops, 如果 with a wait, labels and jumps), and one of
// control lines only (nested blocks, a label and a jump in each), the worst
// case for memory. Targets: 150 ms a pass, 32 bytes a control line.
#include <chrono>
#include <cstdio>
#include <random>
#include <string>

#include "script/control_table.h"
#include "script/script_format.h"
#include "script/script_stream.h"

using namespace tesmuro::script;

namespace {

constexpr int kLines = 1000000;

void Add(std::string& s, std::string_view a, const std::string& b = "") {
  s += a;
  if (!b.empty()) {
    s += ' ';
    s += b;
  }
  s += "\r\n";
}

// Ten-line groups: 重复 / 如果 等待窗口 … 否则 … 结束如果 / 结束重复 around
// recorded actions, and a label with a jump back to it out of the blocks.
std::string Mixed() {
  std::mt19937 rng(2024);
  std::string s;
  int lines = 0;
  for (int g = 0; lines < kLines; ++g) {
    const std::string name = std::to_string(g).insert(0, 1, 'L');
    Add(s, kWordLabel, name);
    Add(s, kWordRepeat, std::to_string(1 + rng() % 9));
    for (int i = 0; i < 3; ++i) {
      Add(s, DelayLine(static_cast<int32_t>(rng() % 40)));
      Add(s, MoveLine(static_cast<int32_t>(rng() % 1920), static_cast<int32_t>(rng() % 1080)));
    }
    Add(s, std::string(kWordIf) + " " + std::string(kKeywordWaitWindow) + " \"OK\" 1");
    Add(s, KeyLine(KeyLineKind::Down, 0x41, 30, 0, 123456, 0));
    Add(s, kWordElse);
    Add(s, MouseButtonLine(ButtonLine::LeftDown));
    Add(s, kWordEndIf);
    Add(s, MouseButtonLine(ButtonLine::LeftUp));
    Add(s, kWordEndRepeat);
    Add(s, DelayLine(static_cast<int32_t>(rng() % 40)));
    Add(s, kWordJumpTo, "\"" + name + "\"");
    Add(s, DelayLine(static_cast<int32_t>(rng() % 40)));
    Add(s, MoveLine(static_cast<int32_t>(rng() % 1920), static_cast<int32_t>(rng() % 1080)));
    Add(s, DelayLine(static_cast<int32_t>(rng() % 40)));
    Add(s, MoveLine(static_cast<int32_t>(rng() % 1920), static_cast<int32_t>(rng() % 1080)));
    Add(s, DelayLine(static_cast<int32_t>(rng() % 40)));
    Add(s, MoveLine(static_cast<int32_t>(rng() % 1920), static_cast<int32_t>(rng() % 1080)));
    lines += 25;
  }
  return s;
}

// Control lines only, ten a group: blocks three deep, a label, a jump, a break.
std::string ControlOnly() {
  std::string s;
  int lines = 0;
  for (int g = 0; lines < kLines; ++g) {
    const std::string name = std::to_string(g).insert(0, 1, 'L');
    Add(s, kWordRepeat, "5");
    Add(s, kWordLabel, name);
    Add(s, std::string(kWordIfNot) + " " + std::string(kKeywordWaitWindow) + " \"OK\" 1");
    Add(s, kWordRepeat);
    Add(s, kWordBreakRepeat);
    Add(s, kWordEndRepeat);
    Add(s, kWordElse);
    Add(s, kWordJumpTo, name);
    Add(s, kWordEndIf);
    Add(s, kWordEndRepeat);
    lines += 10;
  }
  return s;
}

void Measure(const char* what, const std::string& text) {
  std::FILE* f = std::tmpfile();
  if (!f || std::fwrite(text.data(), 1, text.size(), f) != text.size()) {
    std::printf("%s: cannot write the script\n", what);
    return;
  }
  double best = 1e30;
  Structure s;
  for (int run = 0; run < 5; ++run) {
    FileByteStream in(f, FileByteStream::kBufferSize);
    const auto t0 = std::chrono::steady_clock::now();
    s = ReadStructure(in);
    const auto t1 = std::chrono::steady_clock::now();
    best = std::min(best, std::chrono::duration<double, std::milli>(t1 - t0).count());
  }
  std::fclose(f);
  if (s.error) {
    std::printf("%s: structure error on line %lld: %s\n", what, static_cast<long long>(s.error->line),
                s.error->message.c_str());
    return;
  }
  const double n = static_cast<double>(s.table.size());
  std::printf("%-34s %8.1f MB %9zu control lines  pass %7.1f ms  table %5.1f B/line  pass peak %5.1f B/line\n",
              what, text.size() / 1e6, s.table.size(), best, s.table.Bytes() / n, s.peakBytes / n);
}

}  // namespace

int main() {
  std::printf("sizeof(ControlLine) = %zu bytes\n", sizeof(ControlLine));
  Measure("1,000,000 lines, 7 in 25 control", Mixed());
  Measure("1,000,000 control lines", ControlOnly());
  return 0;
}
