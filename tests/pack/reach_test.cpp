#include "pack/reach.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "image/png_io.h"
#include "support/gbk_script.h"
#include "support/temp_dir.h"
#include "util/file_io.h"
#include "util/path.h"

namespace tesmuro::pack {
namespace {

// A script in UTF-8 with its words in GBK, 调用 among them.
std::string Script(std::string_view utf8) {
  std::string s = test::GbkScript(utf8);
  for (size_t at; (at = s.find("调用")) != std::string::npos;) s.replace(at, 6, "\xB5\xF7\xD3\xC3");
  return s;
}

std::string SomePng() {
  static const std::string bytes = [] {
    test::TempDir dir;
    EXPECT_TRUE(image::SavePng(dir.File("p.png"), image::Image(3, 2, 0xFF102030u)));
    return dir.Read("p.png");
  }();
  return bytes;
}

// Files on a pretend disk, by path as the walk asks for them; what it asked.
struct Disk {
  std::map<std::string, std::string> files;
  std::vector<std::string> asked;
  ReadFile Reader() {
    return [this](const std::string& path, std::string& bytes) {
      asked.push_back(NormalizeName(path));
      auto it = files.find(NormalizeName(path));
      if (it == files.end()) return false;
      bytes = it->second;
      return true;
    };
  }
};

std::vector<std::string> Names(const Reached& r) {
  std::vector<std::string> n;
  for (const auto& f : r.files) n.push_back(f.name);
  return n;
}

TEST(FilesReached, PicturesAndCalledScriptsRecursivelyEachOnce) {
  Disk disk;
  disk.files["/s/pics/a.png"] = SomePng();
  disk.files["/s/sub/x.png"] = SomePng();
  // b calls itself and c one folder up; c calls b again: a cycle.
  disk.files["/s/sub/b.crec"] = Script("等待图像 \"x.png\" 10\r\n调用 \"b.crec\"\r\n调用 \"../c.crec\" 2\r\n");
  disk.files["/s/c.crec"] = Script("调用 \"sub\\\\b.crec\"\r\n点击图像 \"pics/a.png\" 10 5\r\n");
  const std::string main = Script(
      "延迟 100\r\n等待图像 \"pics/a.png\" 10\r\n调用 \"sub/b.crec\" 3\r\n点击图像 \"./pics/a.png\" 10\r\n");
  const Reached r = FilesReached(main, "/s", disk.Reader());
  ASSERT_EQ(r.error, "");
  EXPECT_EQ(Names(r), (std::vector<std::string>{"pics/a.png", "sub/b.crec", "sub/x.png", "c.crec"}));
  EXPECT_EQ(r.files[1].bytes, disk.files["/s/sub/b.crec"]);
  EXPECT_EQ(disk.asked, (std::vector<std::string>{"/s/pics/a.png", "/s/sub/b.crec", "/s/sub/x.png", "/s/c.crec"}))
      << "every file read once, from the script's folder";

  // From the current folder, and an absolute name kept as written.
  Disk here;
  here.files["pics/a.png"] = SomePng();
  here.files["C:/shots/b.png"] = SomePng();
  const Reached h = FilesReached(Script("等待图像 \"pics\\\\a.png\"\n点击图像 \"C:\\\\shots\\\\b.png\""), "", here.Reader());
  ASSERT_EQ(h.error, "");
  EXPECT_EQ(Names(h), (std::vector<std::string>{"pics/a.png", "C:/shots/b.png"}));
}

// Only words count: a keyword inside a quoted text, a window title or an
// argument is not one, and a bare 调用 takes nothing that is not a file.
TEST(FilesReached, ArgumentsAreNeverTakenForWords) {
  Disk disk;
  const Reached r = FilesReached(
      Script("窗口 win \"调用\" \"等待图像\" \"\\\"x.png\\\"\" 0,0,10,10\r\n输入文本 \"调用\" 0\r\n调用\r\n"
             "延迟 5\r\n调用 \"bad\\q.crec\"\r\n调用"),
      "", disk.Reader());
  EXPECT_EQ(r.error, "");
  EXPECT_TRUE(r.files.empty());
  EXPECT_TRUE(disk.asked.empty()) << disk.asked.front();
}

TEST(FilesReached, AMissingOrUnreadableFileRefusesWithItsLine) {
  Disk disk;
  disk.files["d/sub/b.crec"] = Script("延迟 1\n\n调用 \"gone.crec\"\n");
  disk.files["d/bad.png"] = "not a picture";
  const Reached missing = FilesReached(Script("延迟 1\r\n\r\n等待图像 \"gone.png\" 5\r\n"), "d", disk.Reader());
  EXPECT_EQ(missing.error, "第 3 行：找不到图像文件“gone.png”");
  const Reached nested = FilesReached(Script("调用 \"sub/b.crec\"\r"), "d", disk.Reader());
  EXPECT_EQ(nested.error, "“sub/b.crec”第 3 行：找不到脚本文件“gone.crec”");
  EXPECT_TRUE(nested.files.empty()) << "nothing to pack once a file is missing";
  const Reached damaged = FilesReached(Script("\r\n点击图像 \"bad.png\""), "d", disk.Reader());
  EXPECT_EQ(damaged.error.rfind("第 2 行：图像文件“bad.png”无法读取（", 0), 0u) << damaged.error;
}

}  // namespace
}  // namespace tesmuro::pack
