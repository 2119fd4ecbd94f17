// The structure pass: each control line's partners, labels and jumps, and the
// structure errors with their lines.
#include "script/control_table.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "script/script_format.h"
#include "script/script_stream.h"
#include "script/word_reader.h"

namespace tesmuro::script {
namespace {

const std::string IF(kWordIf), IFNOT(kWordIfNot), ELSE(kWordElse), ENDIF(kWordEndIf), REPEAT(kWordRepeat),
    ENDREPEAT(kWordEndRepeat), BREAK(kWordBreakRepeat), LABEL(kWordLabel), JUMP(kWordJumpTo);
const std::string WAITWIN = std::string(kKeywordWaitWindow) + " \"a\" 1";

std::string Lines(std::initializer_list<std::string> lines) {
  std::string s;
  for (const std::string& l : lines) s += l + "\r\n";
  return s;
}

Structure Pass(const std::string& text) {
  MemoryByteStream in(text);
  return ReadStructure(in);
}

struct Want {
  ControlWord word;
  uint32_t partner, other;
};
constexpr uint32_t kNone = kNoControlLine;

void ExpectTable(const Structure& s, const std::vector<Want>& want, const std::string& what) {
  ASSERT_FALSE(s.error) << what << ": line " << s.error->line << " " << s.error->message;
  ASSERT_EQ(s.table.size(), want.size()) << what;
  for (uint32_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(s.table[i].word(), want[i].word) << what << " line " << i;
    EXPECT_EQ(s.table[i].partner, want[i].partner) << what << " line " << i;
    EXPECT_EQ(s.table[i].other, want[i].other) << what << " line " << i;
  }
}

TEST(ControlTable, NestedBlocksFindTheirPartnersFromAnyStream) {
  // A key line's token is its own even when it reads like a control word.
  const std::string key = std::string(kKeywordKeyDown) + " " + IF + " 0 0 0 0";
  const std::string text = Lines({
      IF + " " + WAITWIN,                                                     // 0
      REPEAT + " 3",                                                          // 1
      IFNOT + "\t" + std::string(kKeywordWaitColor) + " 1,2 FF0000 0 1",      // 2
      BREAK,                                                                  // 3
      ELSE,                                                                   // 4
      key,
      ENDIF,                                                                  // 5
      ENDREPEAT,                                                              // 6
      ELSE,                                                                   // 7
      REPEAT,                                                                 // 8: no count
      REPEAT + "  2147483647",                                                // 9
      BREAK,                                                                  // 10
      ENDREPEAT,                                                              // 11
      ENDREPEAT,                                                              // 12
      ENDIF,                                                                  // 13
  });
  using W = ControlWord;
  const std::vector<Want> want = {
      {W::If, 13, 7},     {W::Repeat, 6, 3},      {W::IfNot, 5, 4},  {W::BreakRepeat, 1, kNone},
      {W::Else, 5, 2},    {W::EndIf, 2, kNone},   {W::EndRepeat, 1, kNone}, {W::Else, 13, 0},
      {W::Repeat, 12, 0}, {W::Repeat, 11, 2147483647}, {W::BreakRepeat, 9, kNone}, {W::EndRepeat, 9, kNone},
      {W::EndRepeat, 8, kNone}, {W::EndIf, 0, kNone},
  };
  const Structure memory = Pass(text);
  ExpectTable(memory, want, "memory");
  EXPECT_LE(sizeof(ControlLine), 20u);

  // Each line's offset is its word's first byte, found again by Find; its
  // end is where the player reads on: after 重复's count, before 如果's wait word.
  MemoryByteStream in(text);
  for (uint32_t i = 0; i < memory.table.size(); ++i) {
    const ControlLine& l = memory.table[i];
    EXPECT_EQ(memory.table.Find(l.offset()), i);
    EXPECT_EQ(memory.table.Find(l.offset() + 1), kNone);
    ASSERT_TRUE(in.Seek(l.offset()));
    Word w;
    ASSERT_TRUE(ReadWord(in, w));
    EXPECT_EQ(MatchControlWord(w.View()), l.word());
    ASSERT_TRUE(in.Seek(l.end()));
    const std::string next = ReadWord(in, w) ? std::string(w.View()) : "(end)";
    const std::string wantNext = i == 0 ? std::string(kKeywordWaitWindow) : i == 1 ? IFNOT : i == 9 ? BREAK
                                 : i == 13 ? "(end)" : next;
    EXPECT_EQ(next, wantNext) << i;
  }

  // A file read through a small buffer gives the same table.
  for (size_t buffer : {1u, 5u, 64u * 1024}) {
    std::FILE* f = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), f);
    FileByteStream file(f, buffer);
    const Structure s = ReadStructure(file);
    ExpectTable(s, want, "file, buffer " + std::to_string(buffer));
    for (uint32_t i = 0; i < s.table.size() && i < memory.table.size(); ++i) {
      EXPECT_EQ(s.table[i].offset(), memory.table[i].offset());
      EXPECT_EQ(s.table[i].end(), memory.table[i].end());
    }
    std::fclose(f);
  }
}

TEST(ControlTable, LabelsAndJumpsOutOfBlocks) {
  const std::string text = Lines({
      LABEL + " " + "\xBF\xAA\xCA\xBC",         // 0 标签 开始
      REPEAT + " 2",                            // 1
      IF + " " + WAITWIN,                       // 2
      LABEL + " \"\xC4\xDA\\s\xB2\xBF\"",       // 3 标签 "内\s部"
      JUMP + " \xBF\xAA\xCA\xBC",               // 4 out of the 如果 and the 重复
      JUMP + " \"\xC4\xDA\\s\xB2\xBF\"",        // 5 within its part
      ENDIF,                                    // 6
      JUMP + " \"end\"",                        // 7 forward, to the top
      ENDREPEAT,                                // 8
      LABEL + " end",                           // 9 bare and quoted: one name
  });
  using W = ControlWord;
  ExpectTable(Pass(text),
              {{W::Label, kNone, 0}, {W::Repeat, 8, 2}, {W::If, 6, kNone}, {W::Label, 2, 1},
               {W::JumpTo, 0, kNone}, {W::JumpTo, 3, kNone}, {W::EndIf, 2, kNone}, {W::JumpTo, 9, kNone},
               {W::EndRepeat, 1, kNone}, {W::Label, kNone, 0}},
              "labels");
}

TEST(ControlTable, StructureErrorsCarryTheirLines) {
  const std::string click = std::string(kKeywordLeftDown);
  struct Case {
    std::string text;
    int64_t line;
    std::string message;
  };
  const Case cases[] = {
      {Lines({click, IF + " " + WAITWIN, click}), 2, "如果没有对应的结束如果"},
      {Lines({REPEAT + " 2", IFNOT + " " + WAITWIN, ELSE, ENDIF}), 1, "重复没有对应的结束重复"},
      {Lines({IF + " " + WAITWIN, REPEAT, ENDIF}), 3, "结束如果之前，第 2 行的重复还没有结束重复"},
      {Lines({REPEAT, click, IF + " " + WAITWIN, ELSE, ENDREPEAT}), 5, "结束重复之前，第 3 行的如果还没有结束如果"},
      {Lines({click, ENDIF}), 2, "结束如果没有对应的如果"},
      {Lines({ENDREPEAT}), 1, "结束重复没有对应的重复"},
      {Lines({click, ELSE}), 2, "否则不在如果和结束如果之间"},
      {Lines({IF + " " + WAITWIN, REPEAT, ELSE}), 3, "否则之前，第 2 行的重复还没有结束重复"},
      {Lines({IF + " " + WAITWIN, ELSE, click, ELSE, ENDIF}), 4, "一个如果只能有一个否则（已有否则：第 2 行）"},
      {Lines({IF + " " + WAITWIN, BREAK, ENDIF}), 2, "跳出重复不在重复和结束重复之间"},
      {Lines({IF + " " + click}), 1, "如果后面应是等待词：等待窗口、等待颜色、等待图像、点击图像或等待按键"},
      {Lines({click, IFNOT, WAITWIN, ENDIF}), 2, "如果不后面应是等待词"},
      {Lines({REPEAT + " 0", ENDREPEAT}), 1, "重复次数应为 1 到 2147483647 的整数"},
      {Lines({REPEAT + " 2147483648", ENDREPEAT}), 1, "重复次数应为"},
      {Lines({REPEAT + " -3", ENDREPEAT}), 1, "重复次数应为"},
      {Lines({LABEL}), 1, "标签后面缺少名字"},
      {Lines({JUMP + " " + click}), 1, "是脚本中的词，请加引号"},
      {Lines({click, std::string(kWordCall) + " " + REPEAT}), 2, "是脚本中的词，请加引号"},
      {Lines({std::string(kWordCall) + " \"a.crec\" 0"}), 1, "调用次数应为 1 到 2147483647 的整数"},
      {Lines({JUMP, "x"}), 1, "跳到后面缺少名字"},
      {Lines({LABEL + " \"a\\qb\""}), 1, "引号中的转义无效"},
      {Lines({LABEL + " " + std::string(kMaxWordBytes, 'n')}), 1, "名字太长（最多 98 个字节）"},
      {Lines({click, JUMP + " \"\xC4\xDA\\s\xB2\xBF\"", LABEL + " x"}), 2, "没有名为“内 部”的标签"},
      {Lines({LABEL + " a", click, LABEL + " \"a\""}), 3, "标签“a”重复（已有：第 1 行）"},
      // Into a block: back into a loop that ended, forward into an 如果,
      // from an 如果's part into its 否则 part.
      {Lines({REPEAT, LABEL + " in", ENDREPEAT, JUMP + " in"}), 4, "不能跳进块内：标签“in”在第 1 行开始的块中"},
      {Lines({JUMP + " in", IF + " " + WAITWIN, LABEL + " in", ENDIF}), 1, "标签“in”在第 2 行开始的块中"},
      {Lines({IF + " " + WAITWIN, JUMP + " in", ELSE, LABEL + " in", ENDIF}), 2, "标签“in”在第 3 行开始的块中"},
      // Of several wrong jumps and labels, the first by its place.
      {Lines({LABEL + " a", JUMP + " b", LABEL + " a", JUMP + " c"}), 2, "没有名为“b”的标签"},
  };
  // A wait for the user's key is a wait word like the others.
  EXPECT_FALSE(Pass(Lines({IF + " " + std::string(kKeywordWaitKey) + " F8 5", click, ELSE, ENDIF})).error);
  for (const Case& c : cases) {
    const Structure s = Pass(c.text);
    ASSERT_TRUE(s.error) << c.message;
    EXPECT_EQ(s.error->line, c.line) << c.message;
    EXPECT_NE(s.error->message.find(c.message), std::string::npos) << s.error->message;
    EXPECT_TRUE(s.table.empty()) << c.message;
  }
}

}  // namespace
}  // namespace tesmuro::script
