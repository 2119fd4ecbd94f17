// The player's script reader: words, keywords and their arguments.
//
// The reader has no notion of lines. ReadWord() takes the next run of non-white
// bytes; ParseAction() matches it against the keywords and reads the keyword's
// arguments from the same stream, scanf-style, leaving whatever does not fit the
// argument pattern in the stream to be read as the next word (where, not being a
// keyword, it is skipped).
//
// How odd input is read:
// - White space is space, tab, CR, LF, VT and FF.
// - A word keeps its first 99 bytes; the rest of an over-long word is skipped as
//   part of it, so it never turns into a word of its own. Key-code and wheel
//   tokens keep their first 51 bytes the same way.
// - A word that ends at the end of the data is a word like any other, so a
//   keyword with nothing after it still counts.
// - Numbers ("%d"): white space is skipped, then an optional '+' or '-' and the
//   decimal digits. All digits are consumed however many there are; the value is
//   taken modulo 2^32 as a signed 32-bit number (4294967295 reads as -1), the
//   way a 32-bit accumulator wraps. Where no digit follows, the value is 0, the
//   byte that did not fit is left in the stream (a sign before it stays read)
//   and the rest of the pattern is not read: its values are 0 as well.
// - A comma after a number must be the very next byte ("10, 20" gives 10 and 20;
//   "10 ,20" gives 10 and leaves ",20" in the stream, Y is 0).
// - The key-code and wheel tokens are integers when the whole token is an
//   optional '+' or '-' followed by one or more decimal digits and nothing else;
//   the value wraps modulo 2^32 as above, so only the low bits matter. Anything
//   else, an empty token included, makes the action a ConversionError, which
//   ends the run.
// - The wheel token: spaces (0x20 only) in front of it are skipped; it then runs
//   up to the next space, which is consumed. A CR or LF, or the end of the data,
//   also ends it (left in the stream). Other white space (tab, VT, FF) belongs to
//   the token, which then is not an integer.
// - The random delay's "MIN,MAX" is read strictly, as whole milliseconds on
//   the keyword's line: digits only, the comma right after MIN (spaces may
//   follow it), and nothing glued to MAX. A word that does not fit is read to
//   its end and the action is marked bad (Action::badRange): the run stops
//   there rather than guess at a delay.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "script/script_stream.h"

namespace tesmuro::script {

inline constexpr std::size_t kMaxWordBytes = 99;
inline constexpr std::size_t kMaxTokenBytes = 51;
// 输入文本's quoted text may be longer than any other word: a sentence or a
// paragraph on one line.
inline constexpr std::size_t kMaxTypedTextBytes = 16384;

inline bool IsScriptSpace(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

struct Word {
  char bytes[kMaxWordBytes];
  std::size_t size = 0;
  std::string_view View() const { return {bytes, size}; }
};

// Skips white space and reads the next word. False (and an empty word) when the
// end of the data comes first.
bool ReadWord(ByteStream& in, Word& word);

enum class ActionKind : uint8_t {
  Delay,
  Move,
  LeftDown,
  LeftUp,
  RightDown,
  RightUp,
  MiddleDown,
  MiddleUp,
  Wheel,
  KeyDown,
  KeyUp,
  SysKeyDown,
  SysKeyUp,
  JoyMove,
  JoyButton,
  // Words later copies added (see script_format.h).
  X1Down,
  X1Up,
  X2Down,
  X2Up,
  HWheel,           // as Wheel, on the horizontal wheel
  RelMove,          // relative motion: x, y are the distances
  Screen,           // the screen a recording was made on: screen
  Window,           // the window the next action acts on: system, text[0..2], screen[0..3]
  WaitWindow,       // wait for a window whose title holds text[0]; seconds
  WaitColor,        // wait for colour within tolerance at x, y; seconds
  WaitImage,        // wait for the picture in file text[0] within tolerance; seconds; area
  ClickImage,       // as WaitImage, then a left click at the centre of what was found
  RandomDelay,      // a delay drawn evenly from delay_ms..delay_max_ms at each play
  TypeText,         // types the quoted text in text[0] as characters, delay_ms between them
  WaitKey,          // waits for the user to press the key `key` (named text[0]); seconds (0: no limit)
  Unknown,          // not a keyword: nothing was read after it
  ConversionError,  // key code or wheel turn that is not an integer
};

// A parsed action. Only the fields of its kind are set; all others are 0.
struct Action {
  ActionKind kind = ActionKind::Unknown;
  int32_t delay_ms = 0;  // Delay; RandomDelay: the shortest; TypeText: between characters
  int32_t delay_max_ms = 0;  // RandomDelay: the longest
  int32_t x = 0;         // Move, JoyMove
  int32_t y = 0;         // Move, JoyMove
  int32_t wheel = 0;     // Wheel, HWheel: the turn, low 16 bits of the token sign-extended
  int32_t wheel_a = 0;   // Wheel: the two numbers after the turn
  int32_t wheel_b = 0;
  uint8_t vk = 0;        // key kinds: low 8 bits of the key code
  uint32_t scan = 0;     // key kinds: the scan code S as written
  uint32_t flags = 0;    // key kinds: the flag word F (bit 0: extended key)
  int32_t screen[5] = {};  // Screen: left, top, width, height, dpi
  int32_t buttons = 0;   // JoyButton
  uint16_t key = 0;      // WaitKey: the key and its modifiers as a Shortcut code
  // Window: "win" or "x11" (empty when the line is incomplete: it is then
  // skipped), and the quoted tokens of process, class and title as written
  // (script::UnquoteToken reads them). WaitWindow: the title in text[0].
  std::string system;
  std::string text[3];
  int32_t seconds = 0;     // the waits: the longest wait (0: the run's own)
  uint32_t color = 0;      // WaitColor: 0xRRGGBB
  int32_t tolerance = 0;   // WaitColor, WaitImage, ClickImage: per channel
  // WaitImage, ClickImage: the file's quoted token in text[0]; the area to
  // look in (left, top, width, height in screen[0..3]) when all four are given.
  bool hasArea = false;
  bool badColor = false;   // WaitColor: the colour is not six hexadecimal digits
  // WaitKey: no key name on the keyword's line, or one Shortcut::Parse does
  // not know (the name as written is in text[0]).
  bool badKey = false;
  // Window, WaitWindow, WaitImage, ClickImage: a quoted text holds an escape
  // that is not one of script::QuotedToken's (script::QuotedTokenValid).
  bool badText = false;
  // RandomDelay: not "MIN,MAX" on the keyword's line, both whole milliseconds
  // with 0 <= MIN <= MAX <= kMaxDelayMs (both are then 0). TypeText: what
  // follows the text on its line is not whole milliseconds up to
  // kMaxTypeIntervalMs. WaitKey: what follows the key on its line is not
  // whole seconds up to kMaxDelayMs.
  bool badRange = false;
};

// The longest delay a line can ask for, in milliseconds.
inline constexpr int32_t kMaxDelayMs = 2147483647;
// The longest pause between typed characters, in milliseconds.
inline constexpr int32_t kMaxTypeIntervalMs = 60000;

// The keyword the word equals, tried in the order of ActionKind; Unknown if none.
ActionKind MatchKeyword(std::string_view word);
// Every word MatchKeyword knows (GBK), in the order it tries them: the one
// list the player, the script box's colours and the README's words table
// follow.
std::vector<std::string_view> KnownWords();

// Matches the word and reads the keyword's arguments from `in`, which must be
// the stream the word came from, positioned right after it.
Action ParseAction(std::string_view word, ByteStream& in);

}  // namespace tesmuro::script
