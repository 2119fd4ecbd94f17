#include "play/line_stream.h"

#include <cstring>

namespace tesmuro::play {

LineFileStream::LineFileStream(std::FILE* file, std::atomic<int64_t>& lineStart, std::size_t bufferSize)
    : file_(file), lineStart_(lineStart), buffer_(new char[bufferSize ? bufferSize : 1]),
      size_(bufferSize ? bufferSize : 1) {
  SetBuffer(buffer_.get(), buffer_.get());
}

bool LineFileStream::Refill() {
  if (!file_) return false;
  if (next_ >= filled_) {
    bufferOffset_ += static_cast<int64_t>(filled_);
    filled_ = std::fread(buffer_.get(), 1, size_, file_);
    next_ = 0;
    if (filled_ == 0) return false;
  }
  char* const begin = buffer_.get() + next_;
  const auto* lf = static_cast<const char*>(std::memchr(begin, '\n', filled_ - next_));
  const std::size_t end = lf ? static_cast<std::size_t>(lf - buffer_.get()) + 1 : filled_;
  SetBuffer(begin, buffer_.get() + end);
  lineStart_.store(bufferOffset_ + static_cast<int64_t>(next_), std::memory_order_relaxed);
  next_ = end;
  return true;
}

void LineFileStream::DoRewind() {
  if (file_) std::rewind(file_);  // also clears the file's end and error state
  filled_ = next_ = 0;
  bufferOffset_ = 0;
  SetBuffer(buffer_.get(), buffer_.get());
}

}  // namespace tesmuro::play
