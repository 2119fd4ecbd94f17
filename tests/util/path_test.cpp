#include "util/path.h"

#include <gtest/gtest.h>

namespace tesmuro {
namespace {

TEST(Path, AbsoluteNamesAreKnownInEitherSystemsStyle) {
  for (const char* absolute : {"/tmp/a.png", "C:\\s\\a.png", "c:/s/a.png", "z:a.png", "\\\\server\\share\\a.png",
                               "//server/share/a.png", "\\a.png"})
    EXPECT_TRUE(IsAbsolutePath(absolute)) << absolute;
  for (const char* relative : {"", "a.png", "pics\\a.png", "pics/a.png", "./a.png", "..\\a.png", "1:a.png", ":a"})
    EXPECT_FALSE(IsAbsolutePath(relative)) << relative;
}

TEST(Path, TheFolderOfAFileKeepsTheRootsSeparator) {
  EXPECT_EQ(FolderOf("C:\\scripts\\a.crec"), "C:\\scripts");
  EXPECT_EQ(FolderOf("C:\\a.crec"), "C:\\");
  EXPECT_EQ(FolderOf("C:/a.crec"), "C:/");
  EXPECT_EQ(FolderOf("/tmp/x/a.crec"), "/tmp/x");
  EXPECT_EQ(FolderOf("/a.crec"), "/");
  EXPECT_EQ(FolderOf("\\\\server\\share\\a.crec"), "\\\\server\\share");
  EXPECT_EQ(FolderOf("C:\\s/mixed\\a.crec"), "C:\\s/mixed");
  EXPECT_EQ(FolderOf("a.crec"), "");
}

TEST(Path, NamesJoinTheirFolderWithTheFoldersOwnSeparator) {
  EXPECT_EQ(JoinPath("C:\\s", "a.png"), "C:\\s\\a.png");
  EXPECT_EQ(JoinPath("/tmp/s", "a.png"), "/tmp/s/a.png");
  EXPECT_EQ(JoinPath("/tmp/s/", "a.png"), "/tmp/s/a.png");
  EXPECT_EQ(JoinPath("C:\\", "a.png"), "C:\\a.png");
  EXPECT_EQ(JoinPath("", "a.png"), "a.png");
#ifdef _WIN32
  EXPECT_EQ(JoinPath("s", "a.png"), "s\\a.png");
#else
  EXPECT_EQ(JoinPath("s", "a.png"), "s/a.png");
#endif

  EXPECT_EQ(ResolvePath("C:\\scripts", "pics\\a.png"), "C:\\scripts\\pics\\a.png");
  EXPECT_EQ(ResolvePath("/home/u/s", "a.png"), "/home/u/s/a.png");
  EXPECT_EQ(ResolvePath("/home/u/s", "/tmp/a.png"), "/tmp/a.png");
  EXPECT_EQ(ResolvePath("C:\\scripts", "D:\\a.png"), "D:\\a.png");
  EXPECT_EQ(ResolvePath("C:\\scripts", "\\\\server\\a.png"), "\\\\server\\a.png");
  EXPECT_EQ(ResolvePath("", "a.png"), "a.png");
}

}  // namespace
}  // namespace tesmuro
