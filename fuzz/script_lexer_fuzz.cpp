// Feeds arbitrary bytes to the script box's colouring and to the player's
// line-tracking file reader. Checks that every byte gets a style of its own
// and only a known one, that a keyword is only ever a word the reader takes
// as one, and that the line reader hands over every byte, in order, with an
// offset that always lies inside the line being read.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "editor/script_lexer.h"
#include "script/script_stream.h"
#include "script/word_reader.h"

using namespace tesmuro;

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);

  std::vector<editor::ScriptStyle> styles(size, static_cast<editor::ScriptStyle>(0xEE));
  editor::StyleScriptLine(bytes, styles.data());
  for (size_t i = 0; i < size; ++i) {
    Check(static_cast<int>(styles[i]) < editor::kScriptStyleCount);
    if (script::IsScriptSpace(static_cast<unsigned char>(bytes[i])))
      Check(styles[i] == editor::ScriptStyle::Default || styles[i] == editor::ScriptStyle::Error);
  }
  // Each run of keyword bytes is a whole word that the reader matches.
  for (size_t i = 0; i < size;) {
    if (styles[i] != editor::ScriptStyle::Keyword) {
      ++i;
      continue;
    }
    size_t j = i;
    while (j < size && styles[j] == editor::ScriptStyle::Keyword) ++j;
    Check(script::MatchKeyword(bytes.substr(i, j - i)) != script::ActionKind::Unknown);
    i = j;
  }

  std::FILE* f = std::tmpfile();
  if (!f) return 0;
  std::fwrite(bytes.data(), 1, size, f);
  std::rewind(f);
  std::atomic<int64_t> at{-1};
  script::FileByteStream in(f, 7, &at);
  for (int pass = 0; pass < 2; ++pass) {
    for (size_t i = 0;; ++i) {
      const int c = in.Get();
      if (c == script::ByteStream::kEnd) {
        Check(i == size);
        break;
      }
      Check(i < size && c == static_cast<unsigned char>(bytes[i]));
      const int64_t o = at.load();
      // The offset is at or before the byte, and no line break lies between.
      Check(o >= 0 && static_cast<size_t>(o) <= i);
      for (size_t k = static_cast<size_t>(o); k < i; ++k) Check(bytes[k] != '\n');
    }
    in.Rewind();
  }
  std::fclose(f);
  return 0;
}
