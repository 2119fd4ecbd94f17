// Script reading throughput: the word reader over a 50 MB recorded script, from
// a file and from memory, beside a plain fscanf reader of the same grammar.
// Prints MB/s (10^6 bytes per second) for each.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "script/script_format.h"
#include "script/script_stream.h"
#include "script/word_reader.h"

using namespace tesmuro::script;

namespace {

constexpr std::size_t kScriptBytes = 50u * 1000 * 1000;

// A recording's mix: a delay line before every action; mostly moves, then keys,
// buttons (with the odd double-click), wheel and controller lines.
const std::string& Script() {
  static const std::string script = [] {
    std::mt19937 rng(12345);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    std::string s;
    s.reserve(kScriptBytes + 256);
    uint32_t tick = 4000000000u;
    while (s.size() < kScriptBytes) {
      s += DelayLine(pick(100) < 90 ? pick(40) : pick(3000));
      s += "\r\n";
      const int r = pick(100);
      if (r < 60) {
        s += MoveLine(pick(2560) - 640, pick(1440));
      } else if (r < 82) {
        const uint32_t vk = 0x30 + static_cast<uint32_t>(pick(43));
        const bool up = pick(2) != 0;
        tick += static_cast<uint32_t>(pick(200));
        s += KeyLine(up ? KeyLineKind::Up : KeyLineKind::Down, vk, vk - 0x10, up ? 128 : 0, tick, 0);
      } else if (r < 94) {
        s += MouseButtonLine(static_cast<ButtonLine>(pick(9)));
      } else if (r < 97) {
        s += WheelLine(pick(2) ? 120 : -120, 0, 0);
      } else if (r < 99) {
        s += JoyMoveLine(pick(65536), pick(65536));
      } else {
        s += JoyButtonLine(257);
      }
      s += "\r\n";
    }
    return s;
  }();
  return script;
}

std::FILE* ScriptFile() {
  static std::FILE* file = [] {
    std::FILE* f = std::tmpfile();
    const std::string& s = Script();
    if (!f || std::fwrite(s.data(), 1, s.size(), f) != s.size()) {
      std::fprintf(stderr, "cannot write the temporary script\n");
      std::exit(1);
    }
    std::fflush(f);
    return f;
  }();
  return file;
}

struct Totals {
  uint64_t actions = 0;
  int64_t sum = 0;  // of the values the player uses, to compare the readers
};

Totals ReadWithWordReader(ByteStream& in) {
  Totals t;
  Word w;
  while (ReadWord(in, w)) {
    const Action a = ParseAction(w.View(), in);
    if (a.kind == ActionKind::Unknown) continue;
    ++t.actions;
    t.sum += a.delay_ms + a.x + a.y + a.wheel + a.vk + a.buttons;
  }
  return t;
}

// The plain way: fscanf with the argument patterns, word by word.
Totals ReadWithFscanf(std::FILE* f) {
  Totals t;
  char word[100];
  char token[52];
  int n, x, y, a, b;
  long scan;
  unsigned flags, time, extra;
  auto is = [&](std::string_view kw) { return std::strcmp(word, kw.data()) == 0; };
  while (std::fscanf(f, "%99s", word) == 1) {
    if (is(kKeywordDelay)) {
      n = 0;
      std::fscanf(f, "%d", &n);
      t.sum += n;
    } else if (is(kKeywordMove) || is(kKeywordJoyMove)) {
      x = y = 0;
      std::fscanf(f, "%d,%d", &x, &y);
      t.sum += x + y;
    } else if (is(kKeywordLeftDown) || is(kKeywordLeftUp) || is(kKeywordRightDown) ||
               is(kKeywordRightUp) || is(kKeywordMiddleDown) || is(kKeywordMiddleUp)) {
    } else if (is(kKeywordWheel)) {
      int c, len = 0;
      while ((c = std::fgetc(f)) == ' ') {}
      while (c != ' ' && c != EOF && len < 51) token[len++] = static_cast<char>(c), c = std::fgetc(f);
      token[len] = 0;
      std::fscanf(f, "%d %d", &a, &b);
      t.sum += static_cast<int16_t>(std::atoi(token));
    } else if (is(kKeywordKeyDown) || is(kKeywordKeyUp) || is(kKeywordSysKeyDown) ||
               is(kKeywordSysKeyUp)) {
      std::fscanf(f, "%51s %ld %u %u %u", token, &scan, &flags, &time, &extra);
      t.sum += static_cast<uint8_t>(std::atoi(token));
    } else if (is(kKeywordJoyButton)) {
      n = 0;
      std::fscanf(f, "%d", &n);
      t.sum += n;
    } else {
      continue;
    }
    ++t.actions;
  }
  return t;
}

void Report(benchmark::State& state, const Totals& t) {
  const Totals expected = [] {
    MemoryByteStream in(Script());
    return ReadWithWordReader(in);
  }();
  if (t.actions != expected.actions || t.sum != expected.sum)
    state.SkipWithError("readers disagree on the script's actions");
  state.counters["MB/s"] = benchmark::Counter(
      static_cast<double>(Script().size()) * static_cast<double>(state.iterations()) / 1e6,
      benchmark::Counter::kIsRate);
  state.counters["actions"] = static_cast<double>(t.actions);
}

void BM_WordReaderFile(benchmark::State& state) {
  std::FILE* f = ScriptFile();
  FileByteStream in(f);
  Totals t;
  for (auto _ : state) {
    in.Rewind();
    t = ReadWithWordReader(in);
    benchmark::DoNotOptimize(t);
  }
  Report(state, t);
}

void BM_WordReaderMemory(benchmark::State& state) {
  MemoryByteStream in(Script());
  Totals t;
  for (auto _ : state) {
    in.Rewind();
    t = ReadWithWordReader(in);
    benchmark::DoNotOptimize(t);
  }
  Report(state, t);
}

void BM_FscanfReader(benchmark::State& state) {
  std::FILE* f = ScriptFile();
  Totals t;
  for (auto _ : state) {
    std::rewind(f);
    t = ReadWithFscanf(f);
    benchmark::DoNotOptimize(t);
  }
  Report(state, t);
}

BENCHMARK(BM_WordReaderFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WordReaderMemory)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FscanfReader)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
