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

TEST(FileByteStreamLines, NoFileIsAnEmptyScript) {
  std::atomic<int64_t> at{-1};
  FileByteStream in(nullptr, FileByteStream::kBufferSize, &at);
  EXPECT_EQ(in.Get(), script::ByteStream::kEnd);
  EXPECT_EQ(at.load(), -1);
}

}  // namespace
}  // namespace tesmuro::script
