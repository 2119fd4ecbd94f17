#include "script/script_stream.h"

#include <cstring>
#include <utility>

namespace tesmuro::script {

int ByteStream::Underflow() {
  if (at_end_) return kEnd;
  // A refill that brings no bytes is taken as the end, so this cannot spin.
  if (Refill() && pos_ < end_) return static_cast<unsigned char>(*pos_++);
  at_end_ = true;
  SetBuffer(end_, end_, Tell());  // keeps Unget() from stepping back into old bytes
  return kEnd;
}

FileByteStream::FileByteStream(std::FILE* file, std::size_t bufferSize, std::atomic<int64_t>* lineStart)
    : file_(file), lineStart_(lineStart), buffer_(new char[bufferSize ? bufferSize : 1]),
      size_(bufferSize ? bufferSize : 1) {
  SetBuffer(buffer_.get(), buffer_.get(), 0);
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
  SetBuffer(begin, buffer_.get() + end, bufferOffset_ + static_cast<int64_t>(next_));
  next_ = end;
  return true;
}

void FileByteStream::DoRewind() {
  read_error_ = false;
  if (file_) std::rewind(file_);  // also clears the file's end and error state
  filled_ = next_ = 0;
  bufferOffset_ = 0;
  SetBuffer(buffer_.get(), buffer_.get(), 0);
}

namespace {
bool SeekFile(std::FILE* file, int64_t offset) {
#ifdef _WIN32
  return _fseeki64(file, offset, SEEK_SET) == 0;
#else
  return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}
}  // namespace

bool FileByteStream::DoSeek(int64_t offset) {
  if (!file_) return false;
  // A place in the bytes already read costs no read: the next refill hands
  // the piece from there (and, with lineStart, says where it is).
  if (!read_error_ && offset >= bufferOffset_ && offset < bufferOffset_ + static_cast<int64_t>(filled_)) {
    next_ = static_cast<std::size_t>(offset - bufferOffset_);
    char* const at = buffer_.get() + next_;
    SetBuffer(at, at, offset);
    return true;
  }
  if (!SeekFile(file_, offset)) {  // also clears the file's end state
    read_error_ = true;
    return false;
  }
  read_error_ = false;
  filled_ = next_ = 0;
  bufferOffset_ = offset;
  SetBuffer(buffer_.get(), buffer_.get(), offset);
  return true;
}

MemoryByteStream::MemoryByteStream(std::string data) : data_(std::move(data)) {
  SetBuffer(data_.data(), data_.data() + data_.size(), 0);
}

void MemoryByteStream::DoRewind() { SetBuffer(data_.data(), data_.data() + data_.size(), 0); }

bool MemoryByteStream::DoSeek(int64_t offset) {
  const std::size_t at = offset < static_cast<int64_t>(data_.size()) ? static_cast<std::size_t>(offset) : data_.size();
  SetBuffer(data_.data() + at, data_.data() + data_.size(), static_cast<int64_t>(at));
  return true;
}

}  // namespace tesmuro::script
