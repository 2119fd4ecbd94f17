// What the script box offers as the user types: the words that begin with
// what was typed (autocompletion), a word's arguments (call tip), and the
// page of the help file that tells about it (F1).
//
// The words are the reader's (script::KnownWords) and the control words; the
// arguments are written as the README's words table writes them, so the box,
// the README and the help say the same.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tesmuro::editor {

struct WordHint {
  std::string_view word;  // GBK
  std::string_view args;  // ASCII, empty for a word without arguments
  std::string_view page;  // the help page ("waits.htm#wait-image")
};

// Every word the box offers, the reader's first (in its order), then the
// control words.
const std::vector<WordHint>& WordHints();

// The hint for exactly `word`, if it is one.
const WordHint* FindWordHint(std::string_view word);

// The autocompletion list for the start of a word typed (GBK): the words
// that begin with it, in byte order, separated by single spaces. Empty when
// nothing was typed, nothing fits, or the only word that fits is the one
// already typed in full.
std::string CompletionList(std::string_view typed);

// The call tip for a word (GBK): the word, a space and its arguments
// ("等待图像 \"FILE\" TOLERANCE SECONDS [L,T,W,H]"); nothing for a word that
// is not known or takes no arguments.
std::optional<std::string> CallTip(std::string_view word);

// The word around byte `at` of a line (GBK, bytes of non-white space), or
// the word just before it when `at` is right after one; empty when there is
// none. `start` receives where it begins.
std::string_view WordAt(std::string_view line, size_t at, size_t* start = nullptr);

}  // namespace tesmuro::editor
