#include "script/script_stream.h"

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

FileByteStream::FileByteStream(std::FILE* file, std::size_t bufferSize)
    : file_(file), buffer_(new char[bufferSize ? bufferSize : 1]), size_(bufferSize ? bufferSize : 1) {
  SetBuffer(buffer_.get(), buffer_.get());
}

bool FileByteStream::Refill() {
  if (!file_ || read_error_) return false;
  const std::size_t n = std::fread(buffer_.get(), 1, size_, file_);
  if (n == 0) {
    if (std::ferror(file_)) read_error_ = true;
    return false;
  }
  SetBuffer(buffer_.get(), buffer_.get() + n);
  return true;
}

void FileByteStream::DoRewind() {
  read_error_ = false;
  if (file_) std::rewind(file_);  // also clears the file's end and error state
  SetBuffer(buffer_.get(), buffer_.get());
}

MemoryByteStream::MemoryByteStream(std::string data) : data_(std::move(data)) {
  SetBuffer(data_.data(), data_.data() + data_.size());
}

void MemoryByteStream::DoRewind() { SetBuffer(data_.data(), data_.data() + data_.size()); }

}  // namespace tesmuro::script
