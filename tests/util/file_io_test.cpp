#include "util/file_io.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/temp_dir.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace tesmuro {
namespace {

using test::TempDir;

std::string Read(const std::string& path) {
  std::string s;
  EXPECT_TRUE(ReadWholeFile(path, s)) << path;
  return s;
}

// ---- the temporary file's name ----

TEST(TemporaryPath, ShortNameInTheTargetsFolder) {
  const size_t none = static_cast<size_t>(-1);
  EXPECT_EQ(TemporaryPathFor("C:\\data\\scripts\\a rather long script name.crec", 0x1234abcdu, none),
            "C:\\data\\scripts\\~1234abcd.tmp");
  EXPECT_EQ(TemporaryPathFor("/home/u/x.crec", 7, none), "/home/u/~00000007.tmp");
  EXPECT_EQ(TemporaryPathFor("D:/mixed\\sep/y", 0xffffffffu, none), "D:/mixed\\sep/~ffffffff.tmp");
  EXPECT_EQ(TemporaryPathFor("bare.crec", 1, none), "~00000001.tmp");
  EXPECT_EQ(TemporaryPathFor("C:\\", 1, 260), "C:\\~00000001.tmp");
}

// A path of `units` UTF-16 units: the folder, then a name of `name` units.
std::string PathOf(size_t units, size_t name, const char* fill = "d") {
  std::string folder = "C:\\";
  while (folder.size() + 1 + name < units) folder += fill;
  return folder + "\\" + std::string(name, 'n');
}

TEST(TemporaryPath, KeepsALegalPathBelowTheLimit) {
  // Targets of 259 units (the longest legal one) and 250, with names of 1 to 20 units.
  for (size_t total : {259u, 250u}) {
    for (size_t name = total == 259 ? 2 : 1; name <= 20; ++name) {  // 259 and 1: see below
      const std::string target = PathOf(total, name);
      ASSERT_EQ(target.size(), total);
      const std::string tmp = TemporaryPathFor(target, 0x89abcdefu, 260);
      EXPECT_LT(tmp.size(), 260u) << target;
      EXPECT_EQ(tmp.substr(0, tmp.rfind('\\')), target.substr(0, target.rfind('\\'))) << "same folder";
      EXPECT_NE(tmp, target);
      EXPECT_EQ(tmp[tmp.rfind('\\') + 1], '~');
      EXPECT_NE(tmp.find('f'), std::string::npos) << tmp << ": keeps the last hex digit at least";
    }
  }
  // Shorter names as the room shrinks: folders of 250, 254, 257 and 258 units.
  auto folderOf = [](size_t units) { return PathOf(units + 1, 1).substr(0, units); };
  EXPECT_EQ(TemporaryPathFor(folderOf(250) + "a.crec", 0x89abcdefu, 260), folderOf(250) + "~cdef.tmp");
  EXPECT_EQ(TemporaryPathFor(folderOf(254) + "ab", 0x89abcdefu, 260), folderOf(254) + "~cdef");
  EXPECT_EQ(TemporaryPathFor(folderOf(257) + "x", 0x89abcdefu, 260), folderOf(257) + "~f");
  // Only the target's own one-unit name fits, not "~" and a digit: the full name.
  EXPECT_EQ(TemporaryPathFor(folderOf(258) + "x", 0x89abcdefu, 260), folderOf(258) + "~89abcdef.tmp");
  // A target already over the limit is no legal path to keep: the full name.
  EXPECT_EQ(TemporaryPathFor(PathOf(300, 5), 1, 260), PathOf(300, 5).substr(0, 295) + "~00000001.tmp");
}

TEST(TemporaryPath, CountsUtf16UnitsNotBytes) {
  // 中 is 3 bytes and 1 unit; 𠀀 (U+20000) is 4 bytes and 2 units. Both
  // folders are 84 units long, 244 and 164 bytes.
  std::string cjk = "C:\\", wide = "C:\\";
  for (int i = 0; i < 80; ++i) cjk += "中";
  for (int i = 0; i < 40; ++i) wide += "𠀀";
  cjk += "\\";
  wide += "\\";
  for (const std::string& folder : {cjk, wide}) {
    EXPECT_EQ(TemporaryPathFor(folder + "a.crec", 1, 98), folder + "~00000001.tmp");  // 97 units
    EXPECT_EQ(TemporaryPathFor(folder + "a.crec", 1, 97), folder + "~0000001.tmp");   // 96 units
  }
}

// ---- writing ----

TEST(WriteFileAtomically, ReplacesTheTargetAndLeavesNoTemporaryFile) {
  TempDir dir;
  const std::string path = dir.File("脚本.crec");
  ASSERT_TRUE(WriteFileAtomically(path, "first"));
  ASSERT_TRUE(WriteFileAtomically(path, std::string("second\0line", 11)));
  EXPECT_EQ(Read(path), std::string("second\0line", 11));
  EXPECT_EQ(dir.FileCount(), 1u);

  // A folder that is not there: false, and nothing is written anywhere.
  EXPECT_FALSE(WriteFileAtomically(dir.File("missing/x.crec"), "x"));
  EXPECT_EQ(dir.FileCount(), 1u);
}

TEST(WriteFileAtomically, WorksForAFileNameOfTheLongestLength) {
  // 250 characters: the name with a suffix would pass the file system's 255.
  TempDir dir;
  const std::string name(246, 'n');
  const std::string path = dir.File(name + ".txt");
  ASSERT_TRUE(WriteFileAtomically(path, "old"));
  ASSERT_TRUE(WriteFileAtomically(path, "new"));
  EXPECT_EQ(Read(path), "new");
  EXPECT_EQ(dir.FileCount(), 1u);
}

TEST(WriteFileAtomically, ReplacesAFileThatIsBeingRead) {
  // As a save of the script that is playing: the reader opened it first and
  // goes on reading what it opened.
  TempDir dir;
  const std::string path = dir.File("playing.crec");
  ASSERT_TRUE(WriteFileAtomically(path, "old contents"));
  UniqueFile reader(OpenFile(path, "rb"));
  ASSERT_NE(reader, nullptr);
  char first[4] = {};
  ASSERT_EQ(std::fread(first, 1, 3, reader.get()), 3u);

  ASSERT_TRUE(WriteFileAtomically(path, "new contents"));
  EXPECT_EQ(Read(path), "new contents");
  char rest[32] = {};
  const size_t n = std::fread(rest, 1, sizeof rest, reader.get());
  EXPECT_EQ(std::string(first) + std::string(rest, n), "old contents");
  // And again while it is still open.
  ASSERT_TRUE(WriteFileAtomically(path, "newer"));
  EXPECT_EQ(Read(path), "newer");
  reader.reset();
  EXPECT_EQ(dir.FileCount(), 1u);
}

TEST(WriteFileAtomically, NeverTakesAnExistingFileForItsOwn) {
  TempDir dir;
  const std::string taken = dir.File("~00000001.tmp");
  dir.Write("~00000001.tmp", "someone's");
  bool exists = false;
  EXPECT_EQ(detail::CreateNewFile(taken, exists), nullptr);
  EXPECT_TRUE(exists);
  EXPECT_EQ(Read(taken), "someone's");
  UniqueFile made(detail::CreateNewFile(dir.File("~00000002.tmp"), exists));
  ASSERT_NE(made, nullptr);
  EXPECT_FALSE(exists);
  EXPECT_EQ(detail::CreateNewFile(dir.File("no/such/folder"), exists), nullptr);
  EXPECT_FALSE(exists);
}

#ifdef _WIN32
// A folder, however long its path (ASCII here).
bool MakeFolder(const std::string& path) {
  const std::wstring w = L"\\\\?\\" + std::wstring(path.begin(), path.end());
  return CreateDirectoryW(w.c_str(), nullptr) != 0;
}

TEST(WriteFileAtomically, KeepsTheTemporaryPathLegalNearMaxPath) {
  // The longest legal paths (259 characters) with short names, where a
  // temporary name with a suffix would pass MAX_PATH; also while the file is
  // open for reading, as the player holds it.
  TempDir dir;
  std::string folder = dir.Str() + "\\";
  while (folder.size() < 240) folder += "d";
  ASSERT_TRUE(MakeFolder(folder)) << folder;
  for (size_t name : {1u, 2u, 5u, 12u}) {
    std::string path = folder + "\\";
    while (path.size() + 1 + name < 259) path += "p";
    ASSERT_TRUE(MakeFolder(path)) << path;
    path += "\\" + std::string(name, 'n');
    ASSERT_EQ(path.size(), 259u);
    ASSERT_TRUE(WriteFileAtomically(path, "one")) << path;
    UniqueFile reader(OpenFile(path, "rb"));
    ASSERT_NE(reader, nullptr);
    ASSERT_TRUE(WriteFileAtomically(path, "two")) << path;
    reader.reset();
    EXPECT_EQ(Read(path), "two");
  }
}
#endif

// ---- the scratch file ----

#ifdef _WIN32
// The names of the scratch files in the temporary folder.
std::vector<std::wstring> ScratchNames() {
  wchar_t dir[MAX_PATH + 1];
  GetTempPathW(MAX_PATH + 1, dir);
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE h = FindFirstFileW((std::wstring(dir) + L"tsm*.tmp").c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return names;
  do names.push_back(found.cFileName);
  while (FindNextFileW(h, &found));
  FindClose(h);
  return names;
}
#endif

TEST(ScratchFile, KeepsBytesAsWrittenAndGoesWhenClosed) {
#ifdef _WIN32
  const size_t before = ScratchNames().size();
#endif
  UniqueFile f(OpenScratchFile());
  ASSERT_NE(f, nullptr);
  // Line ends and a Ctrl+Z, which a text-mode stream would change.
  const std::string bytes("a\r\nb\nc\x1A" "d\0e", 10);
  ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f.get()), bytes.size());
  ASSERT_EQ(std::fseek(f.get(), 0, SEEK_SET), 0);
  std::string back(32, '\0');
  back.resize(std::fread(back.data(), 1, back.size(), f.get()));
  EXPECT_EQ(back, bytes);
#ifdef _WIN32
  EXPECT_EQ(ScratchNames().size(), before + 1);
  f.reset();
  EXPECT_EQ(ScratchNames().size(), before) << "the file is deleted when it is closed";
#endif
}

}  // namespace
}  // namespace tesmuro
