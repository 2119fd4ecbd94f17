// Where the player is in its script: the reader's words against the line
// offsets a file stream publishes.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "script/script_stream.h"
#include "script/word_reader.h"

namespace tesmuro::script {
namespace {

struct TempFile {
  std::FILE* f = std::tmpfile();
  explicit TempFile(const std::string& bytes) {
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::rewind(f);
  }
  ~TempFile() { std::fclose(f); }
};

// The line (0-based) that holds byte `offset`: an offset may fall inside its
// line when the line is longer than the buffer.
int64_t LineOf(const std::string& text, int64_t offset) {
  if (offset < 0) return -1;
  return std::count(text.begin(), text.begin() + offset, '\n');
}

// Each word the reader returns with the line it is on by the published offset.
std::vector<std::pair<std::string, int64_t>> Walk(const std::string& bytes, size_t buffer) {
  TempFile file(bytes);
  std::atomic<int64_t> at{-1};
  FileByteStream in(file.f, buffer, &at);
  std::vector<std::pair<std::string, int64_t>> out;
  script::Word w;
  while (script::ReadWord(in, w)) out.emplace_back(std::string(w.View()), LineOf(bytes, at.load()));
  return out;
}

TEST(FileByteStreamLines, EachWordIsSeenOnItsOwnLine) {
  const std::string text = "a 1\r\nbb\r\n\r\nccc 2 3\r\nlast";
  const std::vector<std::pair<std::string, int64_t>> want = {
      {"a", 0}, {"1", 0}, {"bb", 1}, {"ccc", 3}, {"2", 3}, {"3", 3}, {"last", 4}};
  for (size_t buffer : {1u, 2u, 3u, 7u, 64u * 1024}) EXPECT_EQ(Walk(text, buffer), want) << "buffer " << buffer;
}

TEST(FileByteStreamLines, ADelaysArgumentLeavesTheReaderOnTheDelaysLine) {
  // With a buffer that holds whole lines the offset is the line's start.
  // 延迟 900 / 移动 1,2: after the delay's number the offset is still the delay's line.
  const std::string text = "\xD1\xD3\xB3\xD9 900\r\n\xD2\xC6\xB6\xAF 1,2\r\n";
  TempFile file(text);
  std::atomic<int64_t> at{-1};
  FileByteStream in(file.f, FileByteStream::kBufferSize, &at);
  script::Word w;
  ASSERT_TRUE(script::ReadWord(in, w));
  const script::Action delay = script::ParseAction(w.View(), in);
  EXPECT_EQ(delay.kind, script::ActionKind::Delay);
  EXPECT_EQ(at.load(), 0);
  ASSERT_TRUE(script::ReadWord(in, w));
  EXPECT_EQ(script::ParseAction(w.View(), in).kind, script::ActionKind::Move);
  EXPECT_EQ(at.load(), 10);
}

TEST(FileByteStreamLines, RewindStartsAgainAtTheTopAndBytesAreKept) {
  std::string text = "x\ny\n";
  text += std::string("\0\xFF z", 4);
  TempFile file(text);
  std::atomic<int64_t> at{-1};
  FileByteStream in(file.f, 3, &at);
  std::string bytes;
  for (int c; (c = in.Get()) != script::ByteStream::kEnd;) bytes += static_cast<char>(c);
  EXPECT_EQ(bytes, text);
  EXPECT_EQ(LineOf(text, at.load()), 2);
  in.Rewind();
  EXPECT_EQ(in.Get(), 'x');
  EXPECT_EQ(at.load(), 0);
  // A put-back byte at the start of a line comes back once.
  EXPECT_EQ(in.Get(), '\n');
  EXPECT_EQ(in.Get(), 'y');
  in.Unget('y');
  EXPECT_EQ(in.Get(), 'y');
  EXPECT_EQ(LineOf(text, at.load()), 1);
}

// Every byte offset, visited back and forth on one stream, across the buffer's
// boundaries and to the end: the bytes from there, the offset Tell() gives,
// and the words from there against reading from the start and skipping.
TEST(ByteStreamSeek, ReadsFromAnyOffsetAsReadingFromTheStartWould) {
  const std::string text = "\xD1\xD3\xB3\xD9 900\r\n\xD2\xC6\xB6\xAF 1,2\r\n\r\n  word\tx\r\nend";
  const int64_t size = static_cast<int64_t>(text.size());
  std::vector<int64_t> order;
  for (int64_t k = 0; k <= size; ++k) order.push_back((k * 7) % (size + 1));  // 7 and size+1 are coprime
  order.push_back(size + 5);
  auto check = [&](ByteStream& in, const std::string& what) {
    for (int64_t k : order) {
      ASSERT_TRUE(in.Seek(k)) << what << " at " << k;
      if (k <= size) EXPECT_EQ(in.Tell(), k) << what;
      std::string rest;
      for (int c; (c = in.Get()) != ByteStream::kEnd;) rest += static_cast<char>(c);
      EXPECT_EQ(rest, k < size ? text.substr(k) : "") << what << " at " << k;
      if (k <= size) EXPECT_EQ(in.Tell(), size) << what;
    }
    // Words: from each word's start the same words as the whole read has from there.
    in.Rewind();
    std::vector<std::pair<int64_t, std::string>> all;
    for (Word w; ReadWord(in, w);) all.emplace_back(in.Tell() - static_cast<int64_t>(w.size), std::string(w.View()));
    ASSERT_EQ(all.size(), 7u) << what;
    for (size_t i = all.size(); i-- > 0;) {
      ASSERT_TRUE(in.Seek(all[i].first));
      std::vector<std::string> from;
      for (Word w; ReadWord(in, w);) from.emplace_back(w.View());
      ASSERT_EQ(from.size(), all.size() - i) << what;
      for (size_t j = 0; j < from.size(); ++j) EXPECT_EQ(from[j], all[i + j].second) << what;
    }
    // A bad offset is the end; a good one afterwards reads again.
    EXPECT_FALSE(in.Seek(-1));
    EXPECT_EQ(in.Get(), ByteStream::kEnd);
    ASSERT_TRUE(in.Seek(1));
    EXPECT_EQ(in.Get(), static_cast<unsigned char>(text[1]));
  };
  MemoryByteStream memory(text);
  check(memory, "memory");
  for (size_t buffer : {1u, 3u, 8u, 64u * 1024}) {
    TempFile file(text);
    FileByteStream plain(file.f, buffer);
    check(plain, "file, buffer " + std::to_string(buffer));
    std::atomic<int64_t> at{-1};
    FileByteStream lines(file.f, buffer, &at);
    check(lines, "file with lines, buffer " + std::to_string(buffer));
    // A jump to a line's start publishes that line.
    ASSERT_TRUE(lines.Seek(20));
    EXPECT_EQ(lines.Get(), '\r');
    ASSERT_TRUE(lines.Seek(22));
    EXPECT_EQ(lines.Get(), ' ');
    EXPECT_EQ(LineOf(text, at.load()), 3) << buffer;
    ASSERT_TRUE(lines.Seek(0));
    EXPECT_EQ(lines.Get(), 0xD1);
    EXPECT_EQ(at.load(), 0) << buffer;
  }
}

TEST(FileByteStreamLines, NoFileIsAnEmptyScript) {
  std::atomic<int64_t> at{-1};
  FileByteStream in(nullptr, FileByteStream::kBufferSize, &at);
  EXPECT_EQ(in.Get(), script::ByteStream::kEnd);
  EXPECT_EQ(at.load(), -1);
}

}  // namespace
}  // namespace tesmuro::script
