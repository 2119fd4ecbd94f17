// A script file read for playback that also says where the run is: the byte
// offset of the start of the line the reader is in.
//
// It hands the reader one line per refill (a line longer than the buffer in
// buffer-sized pieces), so the position is known at each refill without any
// cost per byte; the offset is published for another thread to read (the
// main window marks the line being played). The reader looks no further
// than the white space after a word, and a line's end belongs to the line,
// so while a delay is waited out the offset is that of the delay's line.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "script/script_stream.h"

namespace tesmuro::play {

class LineFileStream final : public script::ByteStream {
 public:
  // Does not own or close `file`. `lineStart` receives the offset of each
  // line as the reader enters it.
  LineFileStream(std::FILE* file, std::atomic<int64_t>& lineStart, std::size_t bufferSize = 64 * 1024);

 private:
  bool Refill() override;
  void DoRewind() override;

  std::FILE* file_;
  std::atomic<int64_t>& lineStart_;
  std::unique_ptr<char[]> buffer_;
  std::size_t size_;
  std::size_t filled_ = 0;     // bytes in the buffer
  std::size_t next_ = 0;       // where the next line starts in the buffer
  int64_t bufferOffset_ = 0;   // the file offset of the buffer's first byte
};

}  // namespace tesmuro::play
