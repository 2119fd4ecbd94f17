#include "script/script_stream.h"

#include <cstring>
#include <utility>

namespace tesmuro::script {

int ByteStream::Underflow() {
  if (at_end_) return kEnd;
  // A refill that brings no bytes is taken as the end, so this cannot spin.
  if (Refill() && pos_ < end_) return static_cast<unsigned char>(*pos_++);
  at_end_ = true;
  SetBuffer(end_, end_);  // keeps Unget() from stepping back into old bytes
  return kEnd;
}

FileByteStream::FileByteStream(std::FILE* file, std::size_t bufferSize, std::atomic<int64_t>* lineStart)
    : file_(file), lineStart_(lineStart), buffer_(new char[bufferSize ? bufferSize : 1]),
      size_(bufferSize ? bufferSize : 1) {
  SetBuffer(buffer_.get(), buffer_.get());
}

bool FileByteStream::Refill() {
  if (!file_ || read_error_) return false;
  if (next_ >= filled_) {
    bufferOffset_ += static_cast<int64_t>(filled_);
    filled_ = std::fread(buffer_.get(), 1, size_, file_);
    next_ = 0;
    if (filled_ == 0) {
      if (std::ferror(file_)) read_error_ = true;
      return false;
    }
  }
  char* const begin = buffer_.get() + next_;
  std::size_t end = filled_;
  if (lineStart_) {
    const auto* lf = static_cast<const char*>(std::memchr(begin, '\n', filled_ - next_));
    if (lf) end = static_cast<std::size_t>(lf - buffer_.get()) + 1;
    lineStart_->store(bufferOffset_ + static_cast<int64_t>(next_), std::memory_order_relaxed);
  }
  SetBuffer(begin, buffer_.get() + end);
  next_ = end;
  return true;
}

void FileByteStream::DoRewind() {
  read_error_ = false;
  if (file_) std::rewind(file_);  // also clears the file's end and error state
  filled_ = next_ = 0;
  bufferOffset_ = 0;
  SetBuffer(buffer_.get(), buffer_.get());
}

MemoryByteStream::MemoryByteStream(std::string data) : data_(std::move(data)) {
  SetBuffer(data_.data(), data_.data() + data_.size());
}

void MemoryByteStream::DoRewind() { SetBuffer(data_.data(), data_.data() + data_.size()); }

}  // namespace tesmuro::script
