// Byte sources for the script reader.
//
// The reader takes one byte at a time, may put the last byte back, and rewinds
// at the end of each playback pass. Get() and Unget() are inline and work on a
// buffer; only refilling the buffer goes through a virtual call, so reading a
// large script costs one indirect call per buffer, not per byte. Tell() and
// Seek() give and set the byte offset, so that the player can jump straight to
// a place it found in an earlier pass over the script.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace tesmuro::script {

class ByteStream {
 public:
  static constexpr int kEnd = -1;

  virtual ~ByteStream() = default;
  ByteStream(const ByteStream&) = delete;
  ByteStream& operator=(const ByteStream&) = delete;

  // The next byte (0..255), or kEnd once the data is exhausted. Stays at kEnd
  // until Rewind().
  int Get() {
    if (pos_ < end_) return static_cast<unsigned char>(*pos_++);
    return Underflow();
  }

  // Puts back the byte the last Get() returned, so the next Get() returns it
  // again. One byte of push-back: call it at most once after each Get().
  // Putting back kEnd does nothing.
  void Unget(int c) {
    if (c != kEnd && pos_ > begin_) --pos_;
  }

  // Back to the first byte, with the end state cleared.
  void Rewind() {
    at_end_ = false;
    DoRewind();
  }

  // The offset of the byte the next Get() returns.
  int64_t Tell() const { return base_ + (pos_ - begin_); }

  // Makes the next Get() return the byte at `offset`, with the end state
  // cleared; an offset at or past the end of the data reads as the end. No
  // byte can be put back right after a seek. False (and the stream then
  // reports its end) when the offset is negative or the data cannot be reached.
  bool Seek(int64_t offset) {
    at_end_ = false;
    if (offset >= 0 && DoSeek(offset)) return true;
    at_end_ = true;
    SetBuffer(end_, end_, Tell());
    return false;
  }

 protected:
  ByteStream() = default;

  // Sets the buffer window [begin, end) and the read position to its start;
  // `offset` is the data's offset of `begin`.
  void SetBuffer(const char* begin, const char* end, int64_t offset) {
    begin_ = pos_ = begin;
    end_ = end;
    base_ = offset;
  }

  // Makes new bytes available with SetBuffer(); returns false at the end of the data.
  virtual bool Refill() = 0;
  virtual void DoRewind() = 0;
  // Sets the buffer so that the next byte is the one at `offset` (>= 0), or
  // an empty one that the next Refill() fills from there. A stream that
  // cannot seek keeps this one.
  virtual bool DoSeek(int64_t /*offset*/) { return false; }

 private:
  int Underflow();

  const char* begin_ = nullptr;
  const char* pos_ = nullptr;
  const char* end_ = nullptr;
  int64_t base_ = 0;  // the offset of begin_
  bool at_end_ = false;
};

// Reads a C stream opened in binary mode. Does not own or close it, and must be
// the only reader of it while in use, since it reads ahead.
//
// With `lineStart` it also says where the reader is, for another thread to
// read (the main window marks the line being played): it then hands the
// reader one line per refill, so the position is known at each refill
// without any cost per byte, and publishes the file offset of the piece the
// reader enters: a line's start, or a place inside a line that crosses the
// buffer's end or is longer than the buffer. The reader looks no further
// than the white space after a word, and a line's end belongs to the line,
// so while a delay is waited out the offset is in the delay's line.
class FileByteStream final : public ByteStream {
 public:
  static constexpr std::size_t kBufferSize = 64 * 1024;

  explicit FileByteStream(std::FILE* file, std::size_t bufferSize = kBufferSize,
                          std::atomic<int64_t>* lineStart = nullptr);

  // True once a read from the file failed (the stream then reports its end).
  bool ReadError() const { return read_error_; }

 private:
  bool Refill() override;
  void DoRewind() override;
  bool DoSeek(int64_t offset) override;

  std::FILE* file_;
  std::atomic<int64_t>* lineStart_;
  std::unique_ptr<char[]> buffer_;
  std::size_t size_;
  std::size_t filled_ = 0;    // bytes in the buffer
  std::size_t next_ = 0;      // where the next piece starts in the buffer
  int64_t bufferOffset_ = 0;  // the file offset of the buffer's first byte
  bool read_error_ = false;
};

// Reads a copy of a byte string held in memory.
class MemoryByteStream final : public ByteStream {
 public:
  explicit MemoryByteStream(std::string data);

 private:
  bool Refill() override { return false; }
  void DoRewind() override;
  bool DoSeek(int64_t offset) override;

  std::string data_;
};

}  // namespace tesmuro::script
