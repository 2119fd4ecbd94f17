// The structure of a script's control lines: which 如果 goes with which
// 否则 and 结束如果, which 重复 with which 结束重复, where each label is.
//
// The player streams a script word by word; to jump, to go round a loop or to
// skip the part of an 如果 that does not play, it needs to know where the
// partner line is without reading on to find it. ReadStructure() reads the
// script once before the run and builds that table; the player then seeks
// straight to a partner's offset (ByteStream::Seek). The same pass finds the
// structure errors, so that a script whose blocks do not fit together never
// starts.
//
// The pass sees the words the player sees: it reads them with ReadWord() and
// lets ParseAction() take each keyword's arguments, so a word that is an
// argument (a key line's token, say) is never taken for a control word.
// Control words are recognised here by their GBK bytes; the reader's keyword
// list does not hold them.
//
// The lines, one word each (NAME a token as the window line's texts are,
// quoted or bare, with the same escapes):
//   如果 <wait word> …     如果不 <wait word> …     否则     结束如果
//   重复 [N]   (N 1..2147483647; none: until 跳出重复)     结束重复     跳出重复
//   标签 NAME     跳到 NAME
//   调用 FILE [N]   (N 1..2147483647, default 1)     结束播放
// 调用 and 结束播放 have no partners and take no place in the table; the pass
// reads their arguments and lets the caller check each called file.
// A jump may leave blocks but not enter one: the label must stand in the
// jump's own block part (the lines between 如果 and 否则, 否则 and 结束如果,
// 重复 and 结束重复) or in one around it, or outside all blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "script/script_stream.h"

namespace tesmuro::script {

// Control words, GBK bytes.
inline constexpr std::string_view kWordIf = "\xC8\xE7\xB9\xFB";                         // 如果
inline constexpr std::string_view kWordIfNot = "\xC8\xE7\xB9\xFB\xB2\xBB";              // 如果不
inline constexpr std::string_view kWordElse = "\xB7\xF1\xD4\xF2";                       // 否则
inline constexpr std::string_view kWordEndIf = "\xBD\xE1\xCA\xF8\xC8\xE7\xB9\xFB";      // 结束如果
inline constexpr std::string_view kWordRepeat = "\xD6\xD8\xB8\xB4";                     // 重复
inline constexpr std::string_view kWordEndRepeat = "\xBD\xE1\xCA\xF8\xD6\xD8\xB8\xB4";  // 结束重复
inline constexpr std::string_view kWordBreakRepeat = "\xCC\xF8\xB3\xF6\xD6\xD8\xB8\xB4";  // 跳出重复
inline constexpr std::string_view kWordLabel = "\xB1\xEA\xC7\xA9";                      // 标签
inline constexpr std::string_view kWordJumpTo = "\xCC\xF8\xB5\xBD";                     // 跳到
inline constexpr std::string_view kWordCall = "\xB5\xF7\xD3\xC3";                       // 调用
inline constexpr std::string_view kWordEndPlay = "\xBD\xE1\xCA\xF8\xB2\xA5\xB7\xC5";    // 结束播放

enum class ControlWord : uint8_t { If, IfNot, Else, EndIf, Repeat, EndRepeat, BreakRepeat, Label, JumpTo, Call, EndPlay };

// Every control word's GBK bytes, in the order of ControlWord.
std::vector<std::string_view> ControlWordTexts();

// The control word `word` is, if any.
std::optional<ControlWord> MatchControlWord(std::string_view word);

// "No line": a partner that is not there.
inline constexpr uint32_t kNoControlLine = 0xFFFFFFFFu;

// One control line, 20 bytes. `partner` and `other` are indices into the
// table (kNoControlLine when there is none) or values, by the word:
//   如果, 如果不  partner: its 结束如果        other: its 否则 (or none)
//   否则          partner: its 结束如果        other: its 如果
//   结束如果      partner: its 如果            other: none
//   重复          partner: its 结束重复        other: the count N (0: no count)
//   结束重复      partner: its 重复            other: none
//   跳出重复      partner: the 重复 it leaves  other: none
//   标签          partner: the 如果, 否则 or 重复 whose part it stands in (none
//                 at the top)                  other: how many 重复 are around it
//   跳到          partner: its 标签            other: none
// A jump to a label keeps the player's innermost loops down to the label's
// count (other) and drops the rest: the jump left them.
struct ControlLine {
  ControlWord word() const { return static_cast<ControlWord>(highAndWord_ >> 24); }
  // The control word's first byte.
  int64_t offset() const { return static_cast<int64_t>(highAndWord_ & 0xFFFFFFu) << 32 | offsetLow_; }
  // Where reading goes on after the line's own words: after the word, and
  // after 重复's count and the label's name. An 如果's wait word is not its
  // own: reading goes on with it.
  int64_t end() const { return offset() + length_; }

  uint32_t partner = kNoControlLine;
  uint32_t other = kNoControlLine;

  ControlLine(ControlWord word, int64_t offset, uint32_t length)
      : offsetLow_(static_cast<uint32_t>(offset)),
        highAndWord_(static_cast<uint32_t>(offset >> 32) | static_cast<uint32_t>(word) << 24), length_(length) {}

 private:
  uint32_t offsetLow_;
  uint32_t highAndWord_;  // the offset's bits 32..55, the word in the top byte
  uint32_t length_;
};

// Control lines in pieces of a fixed size: a table that grows never copies
// what it holds, and keeps at most one piece's room unused.
class ControlLines {
 public:
  static constexpr std::size_t kPieceLines = 4096;
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  ControlLine& operator[](std::size_t i) { return pieces_[i / kPieceLines][i % kPieceLines]; }
  const ControlLine& operator[](std::size_t i) const { return pieces_[i / kPieceLines][i % kPieceLines]; }
  ControlLine& back() { return (*this)[size_ - 1]; }
  void push_back(const ControlLine& line) {
    if (size_ % kPieceLines == 0) {
      pieces_.emplace_back();
      pieces_.back().reserve(kPieceLines);
    }
    pieces_.back().push_back(line);
    ++size_;
  }
  std::size_t Bytes() const {
    return pieces_.size() * kPieceLines * sizeof(ControlLine) + pieces_.capacity() * sizeof(pieces_[0]);
  }

 private:
  std::vector<std::vector<ControlLine>> pieces_;
  std::size_t size_ = 0;
};

// The control lines of one script, in the order of the file.
class ControlTable {
 public:
  std::size_t size() const { return lines_.size(); }
  bool empty() const { return lines_.empty(); }
  const ControlLine& operator[](uint32_t index) const { return lines_[index]; }
  // The control line whose word starts at `offset`, or kNoControlLine. The
  // player that walks the script in order knows the next index without this
  // (the line after the last one it met, or after the partner it jumped to).
  uint32_t Find(int64_t offset) const;
  // The table's memory.
  std::size_t Bytes() const { return lines_.Bytes(); }

 private:
  friend class StructurePass;
  ControlLines lines_;
};

// A structure error: the line (from 1) and what is wrong with it, UTF-8,
// without the "第 N 行：" the caller puts in front.
struct StructureError {
  int64_t line = 0;
  std::string message;
};

struct Structure {
  ControlTable table;  // empty when there is an error
  std::optional<StructureError> error;
  // The pass's own memory at its peak (the table, the open blocks, the
  // labels), for the benchmark.
  std::size_t peakBytes = 0;
};

// Checks the file a 调用 names (UTF-8, as written): what is wrong with it
// (UTF-8, without the line), or nothing when it may be called.
using CallCheck = std::function<std::optional<std::string>(const std::string& name)>;

// Reads `in` from its start to its end once and builds the table, or finds
// a structure error: the first line whose words do not fit the blocks open
// there (or whose called file `checkCall` refuses), or else (the labels are
// all known only at the end) the first label or jump that is wrong. Reading
// an error's line numbers and names costs one more read, on that path only.
// Where `in` is left is unspecified.
Structure ReadStructure(ByteStream& in, const CallCheck& checkCall = {});

// 调用's arguments, read after its word: the file (UTF-8) and the count.
// False, with `error` said, when they are not readable.
struct CallArguments {
  std::string file;
  uint32_t times = 1;
};
bool ReadCallArguments(ByteStream& in, CallArguments& out, std::string& error);

}  // namespace tesmuro::script
