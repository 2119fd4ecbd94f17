// Feeds arbitrary bytes to the script reader as the player reads a script:
// word by word, each word's arguments from the same stream, to the end.
// Checks that the reader ends, keeps its limits, reads the same from a file as
// from memory (with a small file buffer, so push-backs fall on refills), and
// reads the same again after a rewind, every field of every action.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "script/script_format.h"
#include "script/script_stream.h"
#include "script/word_reader.h"

using namespace tesmuro::script;

namespace {

struct Step {
  std::string word;
  Action action;
};

void Check(bool ok) {
  if (!ok) std::abort();
}

std::vector<Step> ReadAll(ByteStream& in, std::size_t inputSize) {
  std::vector<Step> steps;
  Word w;
  while (ReadWord(in, w)) {
    Check(w.size >= 1 && w.size <= kMaxWordBytes);
    Step s{std::string(w.View()), ParseAction(w.View(), in)};
    const Action& a = s.action;
    if (a.kind == ActionKind::Wheel) Check(a.wheel >= -32768 && a.wheel <= 32767);
    if (a.kind == ActionKind::RandomDelay) Check(a.delay_ms >= 0 && a.delay_ms <= a.delay_max_ms);
    if (a.kind == ActionKind::TypeText) Check(a.delay_ms >= 0 && a.delay_ms <= kMaxTypeIntervalMs);
    if (a.kind == ActionKind::WaitKey) Check(a.seconds >= 0 && a.badKey == (a.key == 0));
    if (a.kind == ActionKind::Unknown) Check(MatchKeyword(w.View()) == ActionKind::Unknown);
    steps.push_back(std::move(s));
    // Every word consumes at least one byte: more words than bytes means a loop.
    Check(steps.size() <= inputSize);
  }
  return steps;
}

// Every field of the action, the newer words' (window, waits, pictures,
// random delays) as well as the older ones'.
bool SameAction(const Action& x, const Action& y) {
  if (x.kind != y.kind || x.delay_ms != y.delay_ms || x.delay_max_ms != y.delay_max_ms || x.x != y.x ||
      x.y != y.y || x.wheel != y.wheel || x.wheel_a != y.wheel_a || x.wheel_b != y.wheel_b || x.vk != y.vk ||
      x.scan != y.scan || x.flags != y.flags || x.buttons != y.buttons || x.system != y.system ||
      x.seconds != y.seconds || x.color != y.color || x.tolerance != y.tolerance || x.hasArea != y.hasArea ||
      x.badColor != y.badColor || x.badRange != y.badRange || x.badText != y.badText)
    return false;
  for (int i = 0; i < 5; ++i)
    if (x.screen[i] != y.screen[i]) return false;
  for (int i = 0; i < 3; ++i)
    if (x.text[i] != y.text[i]) return false;
  return true;
}

bool Same(const std::vector<Step>& a, const std::vector<Step>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (a[i].word != b[i].word || !SameAction(a[i].action, b[i].action)) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);

  MemoryByteStream mem(bytes);
  const std::vector<Step> first = ReadAll(mem, size);
  mem.Rewind();
  Check(Same(first, ReadAll(mem, size)));

  if (size > 0) {
    if (std::FILE* f = fmemopen(const_cast<char*>(bytes.data()), size, "rb")) {
      FileByteStream file(f, 1 + data[0] % 5);
      Check(Same(first, ReadAll(file, size)));
      file.Rewind();
      Check(Same(first, ReadAll(file, size)));
      std::fclose(f);
    }
  }

  // Line-break normalisation leaves no lone CR or LF and is idempotent.
  const std::string norm = NormalizeLineBreaks(bytes);
  for (std::size_t i = 0; i < norm.size(); ++i) {
    if (norm[i] == '\r') Check(i + 1 < norm.size() && norm[i + 1] == '\n');
    if (norm[i] == '\n') Check(i > 0 && norm[i - 1] == '\r');
  }
  Check(NormalizeLineBreaks(norm) == norm);
  return 0;
}
